// How the library's exception writes itself into a log, alone and as part of a chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "frame/ZelConvert.h"
#include "support/ZelExceptionCheck.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

std::string LogOf(const ZelPropertyObjectException& e) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    e.Log(log);
    return out.str();
}

TEST(ExceptionLog, ConvertedChainReadsTopToBottom) {
    constexpr ZelSite kTree{".\\ZelRegistrySet", "ZelRegistryQuonSet", "BOOL ZelRegistryQuonSet::RemoveAll()"};
    constexpr ZelSite kItem{".\\zelpropitem", "ZelPropertyItem", "LONG ZelPropertyItem::GetLong()"};
    auto e = ZelExpectConverted([&] {
        ZelCatchAtEnd(kTree, [&] {
            ZelCatchAtEnd(kItem, [] {
                ZelLocalErrorScope scope;
                ZelRaiseLocalError(ZEL_LOCAL_WRONG_TYPE);
            });
        });
    });
    ASSERT_TRUE(e);
    const std::vector<std::string> expected = {
        "Fehlerart: ZelPropertyObjectException",
        "      Quelle: .\\ZelRegistrySet",
        "      Klasse: ZelRegistryQuonSet",
        "      Methode: BOOL ZelRegistryQuonSet::RemoveAll()",
        "      Abschluss: Catch am Methodenende",
        "      Fehlernummer: 1001",
        "      Textnummer: 0",
        "      Unternummer: 0",
        "      Ursache:",
        "            Fehlerart: ZelPropertyObjectException",
        "                  Quelle: .\\zelpropitem",
        "                  Klasse: ZelPropertyItem",
        "                  Methode: LONG ZelPropertyItem::GetLong()",
        "                  Abschluss: Catch am Methodenende",
        "                  Fehlernummer: 1001",
        "                  Textnummer: 0",
        "                  Unternummer: 0",
        "                  Ursache:",
        "                        Fehlerart: ZelPropertyLocalException",
        // A conversion carries no additional text: the label ends the line.
        "                  Weitere Informationen:",
        "      Weitere Informationen:",
    };
    EXPECT_EQ(Lines(LogOf(*e)), expected);
}

TEST(ExceptionLog, AdditionalTextFollowsItsLabelDirectly) {
    ZelCaught<ZelPropertyObjectException> e(new ZelPropertyObjectException(
        nullptr, TRUE, ".\\ZelRegistryBase", "ZelRegistryBase", "m", "", 1002, 0, 0, "Platte voll", 0, TRUE));
    const std::vector<std::string> lines = Lines(LogOf(*e));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Fehlerart: ZelPropertyObjectException");
    EXPECT_EQ(lines.back(), "      Weitere Informationen:Platte voll");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "      Fehlernummer: 1002"), lines.end());
}

}  // namespace
