#include <gtest/gtest.h>

#include "messages/string_table.h"

namespace qpx::ui {
namespace {

TEST(StringTable, KeepsTextsExactlyAndFillsPlaceholdersInOrder) {
    StringTable table(
        "# comment\n"
        "61245\tDie virtuelle CD  '%s' wurde nicht eingelegt.\r\n"
        "\n"
        "61246\tDie virtuelle CD '%s' in das Laufwerk '%s' einlegen.\n"
        "7\tZwei\\nZeilen, 100%% sicher");
    EXPECT_EQ(table.text(61245), "Die virtuelle CD  '%s' wurde nicht eingelegt.") << "double blank kept";
    EXPECT_EQ(table.format(61246, {"Spiel", "G:"}), "Die virtuelle CD 'Spiel' in das Laufwerk 'G:' einlegen.");
    EXPECT_EQ(table.format(7), "Zwei\nZeilen, 100% sicher");
    EXPECT_EQ(table.format(61246, {"%s%s"}), "Die virtuelle CD '%s%s' in das Laufwerk '' einlegen.")
        << "arguments are never interpreted";
    EXPECT_EQ(table.text(1), "#1");
    EXPECT_FALSE(table.contains(1));
}

TEST(StringTable, MalformedTablesAreRefused) {
    EXPECT_THROW(StringTable("61245 no tab\n"), std::invalid_argument);
    EXPECT_THROW(StringTable("x\ttext\n"), std::invalid_argument);
    EXPECT_THROW(StringTable("1\ta\n1\tb\n"), std::invalid_argument);
}

}  // namespace
}  // namespace qpx::ui
