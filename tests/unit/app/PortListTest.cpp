// The order of the port list, and the window's list from the system's.
#include "app/MainForm.h"

#include <gtest/gtest.h>

namespace {

TEST(SortComList, CaseInsensitiveCharacterByCharacterWithDuplicates) {
    std::vector<UnicodeString> LList{u"COM2", u"COM10", u"com1", u"COM1", u"/dev/ttyUSB0", u"COM2"};
    SortComList(LList);
    EXPECT_EQ(LList, (std::vector<UnicodeString>{u"/dev/ttyUSB0", u"com1", u"COM1", u"COM10",
                                                 u"COM2", u"COM2"}));
}

TEST(SortComList, PrefixSortsFirst) {
    std::vector<UnicodeString> LList{u"ttyS10", u"ttyS1", u"TTYS"};
    SortComList(LList);
    EXPECT_EQ(LList, (std::vector<UnicodeString>{u"TTYS", u"ttyS1", u"ttyS10"}));
}

TEST(PortList, FormCreateSelectsTheFirstPortOfTheSystemList) {
    THeadlessLoop LLoop;
    HeadlessControls().ClearMessages();
    TForm1 LForm;
    const std::vector<UnicodeString> LList = GetSysComList();
    EXPECT_EQ(LForm.ComboBox1->Items(), LList);
    EXPECT_EQ(LForm.ComboBox1->ItemIndex(), LList.empty() ? -1 : 0);
    EXPECT_TRUE(HeadlessControls().Messages().empty());
}

} // namespace
