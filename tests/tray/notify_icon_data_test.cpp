#include "tray/notify_icon_data.h"

#include <gtest/gtest.h>

#include <string>

namespace modTray {
namespace {

NOTIFYICONDATA AsAtMinimising() {
    NOTIFYICONDATA record;
    record.cbSize = 88;
    record.hWnd = 0x00A1B2C4;
    record.uID = 1;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_MOUSEMOVE;
    record.hIcon = 0x7F3E0010;
    SetTip(record, std::u16string(u"Lumbrel") + u'\0');
    return record;
}

TEST(NotifyIconData, AnsiFormHasTheShellsLayout) {
    NOTIFYICONDATAA expected{};
    const std::uint8_t head[24] = {
        0x58, 0x00, 0x00, 0x00, // cbSize 88
        0xC4, 0xB2, 0xA1, 0x00, // hWnd
        0x01, 0x00, 0x00, 0x00, // uID
        0x07, 0x00, 0x00, 0x00, // uFlags
        0x00, 0x02, 0x00, 0x00, // uCallbackMessage 512
        0x10, 0x00, 0x3E, 0x7F, // hIcon
    };
    std::copy(std::begin(head), std::end(head), expected.begin());
    const char tip[] = "Lumbrel";
    std::copy(tip, tip + 7, expected.begin() + 24);
    expected[31] = 0x00;
    std::fill(expected.begin() + 32, expected.end(), std::uint8_t{0x20});

    const NOTIFYICONDATAA bytes = ToAnsi(AsAtMinimising());
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(TipText(bytes), "Lumbrel");
    EXPECT_EQ(FromAnsi(bytes), AsAtMinimising());
}

TEST(NotifyIconData, TipCharactersTakeTheAnsiCodePage) {
    const struct {
        std::u16string tip;
        std::string bytes;   // the field's first bytes
        std::u16string back; // what comes back from them
    } cases[] = {
        {u"Caf\u00E9", "Caf\xE9 ", u"Caf\u00E9 "},
        {u"\u20AC 5", "\x80 5 ", u"\u20AC 5 "},
        {u"\u65E5\u672C", "?? ", u"?? "}, // not in the code page
        {u"a\xD800z", "a?z ", u"a?z "},   // a lone surrogate
    };
    for (const auto& c : cases) {
        NOTIFYICONDATA record;
        SetTip(record, c.tip);
        const NOTIFYICONDATAA bytes = ToAnsi(record);
        EXPECT_EQ(std::string(bytes.begin() + 24, bytes.begin() + 24 + static_cast<long>(c.bytes.size())), c.bytes);
        const NOTIFYICONDATA back = FromAnsi(bytes);
        EXPECT_EQ(std::u16string(back.szTip.begin(), back.szTip.begin() + static_cast<long>(c.back.size())), c.back);
    }
}

TEST(NotifyIconData, TipLongerThanTheFieldIsCut) {
    NOTIFYICONDATA record;
    SetTip(record, std::u16string(70, u'x'));
    const NOTIFYICONDATAA bytes = ToAnsi(record);
    EXPECT_EQ(TipText(bytes), std::string(64, 'x'));
}

} // namespace
} // namespace modTray
