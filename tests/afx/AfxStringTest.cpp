// CString: shared buffers, copy on write, buffer access, comparison and extraction.
#include <climits>
#include <cstring>
#include <functional>
#include <iterator>
#include <utility>

#include "AfxTestSupport.h"

namespace {

class AfxString : public AfxHeapGuard {};

TEST_F(AfxString, NullAndEmptyTextsShareTheStaticTextWithoutAllocating) {
    AfxTestFailAllocation(1);  // any allocation below would take the armed failure
    CString a;
    CString b(static_cast<LPCTSTR>(nullptr));
    CString c("");
    CString d("xyz", 0);
    CString e = a;
    e += static_cast<LPCTSTR>(nullptr);
    e = static_cast<LPCTSTR>(nullptr);
    for (const CString* s : {&b, &c, &d, &e}) EXPECT_EQ(a.GetString(), s->GetString());
    EXPECT_STREQ("", a);
    EXPECT_TRUE(a == static_cast<LPCTSTR>(nullptr));
    EXPECT_EQ("CMemoryException", AfxThrown([] { CString s("y"); }));
}

TEST_F(AfxString, EveryWriteToACopyLeavesTheSharedOriginalAlone) {
    const struct {
        const char* pszStart;
        void (*pfnWrite)(CString&);
        CString strResult;
    } writes[] = {
        {"settings", [](CString& s) { s.SetAt(0, 'S'); }, "Settings"},
        {"ab", [](CString& s) { s.GetBuffer()[0] = 'X'; s.ReleaseBuffer(1); }, "X"},
        // Grows, keeping the text and its NUL; the new text ends at the first NUL.
        {"ab", [](CString& s) { std::memcpy(std::strchr(s.GetBuffer(9), 0), "cd\0ef", 6); s.ReleaseBuffer(); }, "abcd"},
        {"abcdef", [](CString& s) { std::memset(s.GetBufferSetLength(3), 'z', 3); }, "zzz"},
        {"aBc\xE4 1", [](CString& s) { s.MakeUpper(); }, "ABC\xE4 1"},  // only ASCII letters change
        {"aBc\xE4 1", [](CString& s) { s.MakeLower(); }, "abc\xE4 1"},
        {" \t x y \r\n", [](CString& s) { s.TrimLeft(); }, "x y \r\n"},
        {" \t x y \r\n", [](CString& s) { s.TrimRight(); }, " \t x y"},
        {"  \n ", [](CString& s) { s.Trim(); }, ""},
        {"abc", [](CString& s) { s += s; s += 'x'; s += "yz"; }, "abcabcxyz"},
        {"abc", [](CString& s) { s = "z" + s + "d"; }, "zabcd"},
        {"abc", [](CString& s) { s = '<' + s + '>'; }, "<abc>"},
        {"abc", [](CString& s) { s = s + static_cast<LPCTSTR>(nullptr); }, "abc"},
        {"n=42", [](CString& s) { s.Format("%s|%s", s.GetString(), s.GetString()); }, "n=42|n=42"},  // own text
        {"x", [](CString& s) { s.Format("%0300d", 7); }, CString('0', 299) + "7"},
    };
    for (const auto& write : writes) {
        const CString original(write.pszStart);
        CString copy(original);
        EXPECT_EQ(original.GetString(), copy.GetString());
        write.pfnWrite(copy);
        EXPECT_TRUE(write.strResult == copy && write.strResult.GetLength() == copy.GetLength())
            << write.pszStart << " became " << copy.GetString();
        EXPECT_EQ(write.pszStart, original);
    }
    // A buffer lives as long as any copy holds it.
    CString survivor;
    LPCTSTR pszText = [&] { CString temporary("kept"); survivor = temporary; return temporary.GetString(); }();
    EXPECT_EQ(pszText, survivor.GetString());
    EXPECT_STREQ("kept", pszText);
    // A lost increment frees the buffer early, a lost decrement leaks it: the sanitizers see both.
    AfxOnThreads(4, [&survivor] {
        for (int i = 0; i < 20000; ++i) {
            CString copy(survivor), other;
            other = copy;
        }
    });
    EXPECT_EQ("kept", survivor);
}

TEST_F(AfxString, EmbeddedNulsCountAndBadArgumentsAreRejected) {
    const CString nul("a\0b", 3);
    EXPECT_EQ(3, nul.GetLength());
    EXPECT_EQ(2, nul.Find('b'));
    EXPECT_EQ(2, nul.Find("b"));
    EXPECT_EQ(1, nul.Mid(2).GetLength());
    CString t = nul + "c";
    t += t;
    ASSERT_EQ(8, t.GetLength());
    EXPECT_EQ(0, std::memcmp(t.GetString(), "a\0bca\0bc", 9));
    CString s("zzz");
    LPCTSTR pszNoFormat = nullptr;
    const std::function<void()> bad[] = {
        [&] { s.GetBuffer(-1); }, [&] { s.ReleaseBuffer(1000); }, [] { CString().ReleaseBuffer(1); },
        [] { CString("abc", -1); }, [] { CString(nullptr, 2); }, [] { CString('x', -1); },
        [&] { s.Append(nullptr, 1); }, [&] { s.GetAt(3); }, [&] { s.SetAt(-1, 'x'); },
        [&] { s.Format(pszNoFormat, 1); }};
    for (size_t i = 0; i < std::size(bad); ++i) EXPECT_EQ("CInvalidArgException", AfxThrown(bad[i])) << i;
    EXPECT_EQ("zzz", s);
}

TEST_F(AfxString, ComparesBytewiseExtractionClampsAndFindHonoursTheStart) {
    const CString abc("abc");
    EXPECT_TRUE("abc" == abc && abc == "abc" && abc == CString("abc"));
    EXPECT_TRUE("abd" != abc && abc < "abd" && "abd" > abc);
    EXPECT_GT(CString("\xE4").Compare("z"), 0);  // bytes compare unsigned
    EXPECT_EQ(0, CString("MiXeD_1").CompareNoCase("mixed_1"));
    EXPECT_LT(CString("a").CompareNoCase("B"), 0);
    EXPECT_LT(CString("_").CompareNoCase("A"), 0);  // folds to lower case, as the host does
    EXPECT_NE(0, CString("\xC4").CompareNoCase("\xE4"));  // only ASCII letters fold
    const CString s("abcdef");
    const std::pair<CString, const char*> parts[] = {
        {s.Left(2), "ab"}, {s.Left(-1), ""}, {s.Left(99), "abcdef"}, {s.Right(2), "ef"}, {s.Right(-3), ""},
        {s.Right(99), "abcdef"}, {s.Mid(2), "cdef"}, {s.Mid(2, 2), "cd"}, {s.Mid(-2, 3), "abc"},
        {s.Mid(4, 99), "ef"}, {s.Mid(9), ""}, {s.Mid(1, -1), ""}, {s.Mid(INT_MAX, INT_MAX), ""},
        {s.Mid(INT_MIN), "abcdef"}, {CString('-', 3), "---"}};
    for (size_t i = 0; i < std::size(parts); ++i) EXPECT_EQ(parts[i].second, parts[i].first) << i;
    const CString t("hello, hello");
    const std::pair<int, int> finds[] = {
        {t.Find('l'), 2}, {t.Find('l', 4), 9}, {t.Find('z'), -1}, {t.Find('h', -1), -1}, {t.Find('h', 12), -1},
        {t.Find("hello", 1), 7}, {t.Find("help"), -1}, {t.Find(nullptr), -1}, {t.Find("", 3), 3}};
    for (size_t i = 0; i < std::size(finds); ++i) EXPECT_EQ(finds[i].second, finds[i].first) << i;
}

TEST_F(AfxString, ExhaustionReachesTheCallerAndLeavesTheStringsUnchanged) {
    CString s("abc");
    CString shared = s;
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { shared.MakeUpper(); }));
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { s += "a tail that needs a new buffer"; }));
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { s.Format("%d", 12345); }));
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { CString t = s + "x"; }));
    EXPECT_EQ(s.GetString(), shared.GetString());  // still the one shared buffer
    EXPECT_EQ("abc", s);
}

}  // namespace
