// CString: shared buffers, copy on write, buffer access, comparison and extraction.
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

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
    d.Empty();
    for (const CString* s : {&b, &c, &d, &e}) EXPECT_EQ(a.GetString(), s->GetString());
    EXPECT_STREQ("", a);
    EXPECT_TRUE(e.IsEmpty());
    EXPECT_TRUE(a == static_cast<LPCTSTR>(nullptr));
    EXPECT_EQ("CMemoryException", AfxThrown([] { CString s("y"); }));
}

TEST_F(AfxString, CopiesShareOneBufferUntilOneOfThemWrites) {
    CString original("settings");
    CString copy(original);
    EXPECT_EQ(original.GetString(), copy.GetString());
    copy.SetAt(0, 'S');
    CString upper = original;
    upper.MakeUpper();
    CString appended = original;
    appended += "!";
    CString trimmed = CString(" x ");
    CString untrimmed = trimmed;
    trimmed.Trim();
    EXPECT_EQ("settings", original);
    EXPECT_EQ("Settings", copy);
    EXPECT_EQ("SETTINGS", upper);
    EXPECT_EQ("settings!", appended);
    EXPECT_EQ(" x ", untrimmed);
    EXPECT_EQ("x", trimmed);

    // The text of a copy stays valid while any copy holds the buffer.
    LPCTSTR pszText = nullptr;
    CString survivor;
    {
        CString temporary("kept");
        survivor = temporary;
        pszText = temporary;
    }
    EXPECT_EQ(pszText, survivor.GetString());
    EXPECT_STREQ("kept", pszText);
}

TEST_F(AfxString, CopiesOnManyThreadsKeepTheCountRight) {
    CString shared("shared between threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                CString copy(shared);
                CString other;
                other = copy;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    // A lost increment frees the buffer early, a lost decrement leaks it: the sanitizers see both.
    EXPECT_EQ("shared between threads", shared);
}

TEST_F(AfxString, GetBufferGivesAPrivateBufferAndReleaseBufferSetsTheLength) {
    CString s;
    std::memcpy(s.GetBuffer(16), "ab\0cd", 6);
    s.ReleaseBuffer();  // up to the first NUL
    EXPECT_EQ(2, s.GetLength());
    EXPECT_EQ("ab", s);

    CString copy = s;
    LPTSTR p = copy.GetBuffer();
    p[0] = 'X';
    copy.ReleaseBuffer(1);
    EXPECT_EQ("ab", s);
    EXPECT_EQ("X", copy);

    p = s.GetBuffer(100);  // growing keeps the text
    EXPECT_STREQ("ab", p);
    std::strcat(p, "cdef");
    s.ReleaseBuffer();
    EXPECT_EQ("abcdef", s);
    std::memset(s.GetBufferSetLength(3), 'z', 3);
    EXPECT_EQ("zzz", s);

    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { s.GetBuffer(-1); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { s.ReleaseBuffer(1000); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([] { CString().ReleaseBuffer(1); }));
    EXPECT_EQ("zzz", s);
}

TEST_F(AfxString, EmbeddedNulsCountAndBadLengthsAreRejected) {
    CString s("a\0b", 3);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_EQ('b', s[2]);
    EXPECT_EQ(2, s.Find('b'));
    EXPECT_EQ(2, s.Find("b"));
    EXPECT_EQ(1, s.Mid(2).GetLength());
    CString t = s + "c";
    t += t;
    ASSERT_EQ(8, t.GetLength());
    EXPECT_EQ(0, std::memcmp(t.GetString(), "a\0bca\0bc", 9));

    EXPECT_EQ("CInvalidArgException", AfxThrown([] { CString bad("abc", -1); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([] { CString bad(nullptr, 2); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([] { CString bad('x', -1); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { s.Append(nullptr, 1); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { s.GetAt(3); }));
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { s.SetAt(-1, 'x'); }));
    EXPECT_EQ(3, s.GetLength());
}

TEST_F(AfxString, ComparesBytewiseAndConcatenatesInEveryCombination) {
    CString abc("abc");
    EXPECT_TRUE("abc" == abc);
    EXPECT_TRUE(abc == "abc");
    EXPECT_TRUE(abc == CString("abc"));
    EXPECT_TRUE("abd" != abc);
    EXPECT_TRUE(abc < "abd");
    EXPECT_TRUE("abd" > abc);
    EXPECT_GT(CString("\xE4").Compare("z"), 0);  // bytes compare unsigned
    EXPECT_EQ(0, CString("MiXeD_1").CompareNoCase("mixed_1"));
    EXPECT_LT(CString("a").CompareNoCase("B"), 0);
    EXPECT_LT(CString("_").CompareNoCase("A"), 0);  // folds to lower case, as the host does
    EXPECT_NE(0, CString("\xC4").CompareNoCase("\xE4"));  // only ASCII letters fold

    EXPECT_EQ("abcd", abc + "d");
    EXPECT_EQ("zabc", "z" + abc);
    EXPECT_EQ("abcabc", abc + abc);
    EXPECT_EQ("<abc>", '<' + abc + '>');
    EXPECT_EQ("abc", abc + static_cast<LPCTSTR>(nullptr));
    CString s = abc;
    s += s;
    s += 'x';
    s += "yz";
    EXPECT_EQ("abcabcxyz", s);
    EXPECT_EQ("abc", abc);
    EXPECT_EQ("---", CString('-', 3));
}

TEST_F(AfxString, ExtractionClampsCountsAndFindHonoursTheStart) {
    CString s("abcdef");
    EXPECT_EQ("ab", s.Left(2));
    EXPECT_EQ("", s.Left(-1));
    EXPECT_EQ("abcdef", s.Left(99));
    EXPECT_EQ("ef", s.Right(2));
    EXPECT_EQ("", s.Right(-3));
    EXPECT_EQ("abcdef", s.Right(99));
    EXPECT_EQ("cdef", s.Mid(2));
    EXPECT_EQ("cd", s.Mid(2, 2));
    EXPECT_EQ("abc", s.Mid(-2, 3));
    EXPECT_EQ("ef", s.Mid(4, 99));
    EXPECT_EQ("", s.Mid(9));
    EXPECT_EQ("", s.Mid(1, -1));
    EXPECT_EQ("", s.Mid(INT_MAX, INT_MAX));
    EXPECT_EQ("abcdef", s.Mid(INT_MIN));

    CString t("hello, hello");
    EXPECT_EQ(2, t.Find('l'));
    EXPECT_EQ(9, t.Find('l', 4));
    EXPECT_EQ(-1, t.Find('z'));
    EXPECT_EQ(-1, t.Find('h', -1));
    EXPECT_EQ(-1, t.Find('h', 12));
    EXPECT_EQ(7, t.Find("hello", 1));
    EXPECT_EQ(-1, t.Find("help"));
    EXPECT_EQ(-1, t.Find(nullptr));
    EXPECT_EQ(3, t.Find("", 3));
}

TEST_F(AfxString, CaseTrimAndFormat) {
    CString s("aBc\xE4 1");
    s.MakeUpper();
    EXPECT_EQ("ABC\xE4 1", s);
    s.MakeLower();
    EXPECT_EQ("abc\xE4 1", s);

    CString left(" \t x y \r\n");
    CString right = left;
    left.TrimLeft();
    right.TrimRight();
    EXPECT_EQ("x y \r\n", left);
    EXPECT_EQ(" \t x y", right);
    CString blanks("  \n ");
    blanks.Trim();
    EXPECT_TRUE(blanks.IsEmpty());

    CString f;
    f.Format("%s=%d", "n", 42);
    EXPECT_EQ("n=42", f);
    f.Format("%s|%s", f.GetString(), f.GetString());  // its own text as argument
    EXPECT_EQ("n=42|n=42", f);
    f.Format("%0300d", 7);
    EXPECT_EQ(300, f.GetLength());
    EXPECT_EQ('7', f[299]);
    LPCTSTR pszNoFormat = nullptr;
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { f.Format(pszNoFormat, 1); }));
}

TEST_F(AfxString, ExhaustionReachesTheCallerAndLeavesTheStringsUnchanged) {
    CString s("abc");
    CString shared = s;
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { shared.MakeUpper(); }));
    EXPECT_EQ("abc", shared);
    EXPECT_EQ(s.GetString(), shared.GetString());

    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { s += "a tail that needs a new buffer"; }));
    EXPECT_EQ("abc", s);
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { s.Format("%d", 12345); }));
    EXPECT_EQ("abc", s);
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { CString t = s + "x"; }));
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([] { CString t("text"); }));
}

}  // namespace
