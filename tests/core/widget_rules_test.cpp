// The rules behind the push buttons and hyperlinks: gradient shades and their rows, link colours and
// when a link follows its address, where an auto-sized link goes, and what opening an address means.
#include "core/base/button_gradient.h"
#include "core/base/hyperlink_state.h"
#include "core/base/open_address.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

TEST(ButtonGradient, ShadesDarkenByStateFromWhite) {
    struct Case {
        int index;
        bool hover, emphasised;
        Rgb expected;
    };
    const Case cases[] = {
        {0, false, false, {255, 255, 255}},  {0, true, true, {255, 255, 255}},
        {10, false, false, {252, 252, 253}}, {63, false, false, {234, 234, 243}},
        {63, false, true, {234, 234, 240}},  {63, true, false, {240, 240, 243}},
        {63, true, true, {240, 240, 234}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ButtonGradientColour(c.index, c.hover, c.emphasised), c.expected)
            << c.index << " hover " << c.hover << " emphasised " << c.emphasised;
    }
}

TEST(ButtonGradient, RowsRunToTheLastShadeAndNeverPastIt) {
    // A tall button: rows counted from the button's top edge, the inner area starting two rows down.
    EXPECT_EQ(ButtonGradientIndex(2, 100), 1);
    EXPECT_EQ(ButtonGradientIndex(50, 100), 31);
    EXPECT_EQ(ButtonGradientIndex(101, 100), 63);
    // A button with 20 inner rows: the shades climb, the last row takes shade 63 and none goes past.
    int previous = 0;
    for (int y = 2; y < 22; ++y) {
        const int shade = ButtonGradientIndex(y, 20);
        EXPECT_GE(shade, previous) << y;
        EXPECT_LE(shade, 63) << y;
        previous = shade;
    }
    EXPECT_EQ(previous, 63);
    EXPECT_EQ(ButtonGradientIndex(5, 0), 63);
}

TEST(HyperlinkColours, HoverBeatsFocusBeatsVisited) {
    struct Case {
        unsigned flags;
        bool over, focused, visited;
        LinkColour expected;
    };
    const unsigned hover = kDefaultLinkFlags | kLinkHoverColour;
    const Case cases[] = {
        {kDefaultLinkFlags, false, false, false, LinkColour::Link},
        {kDefaultLinkFlags, false, false, true, LinkColour::Visited},
        {kDefaultLinkFlags, true, false, false, LinkColour::Link}, // no hover colour by default
        {kDefaultLinkFlags, true, true, true, LinkColour::Focus},
        {hover, true, false, true, LinkColour::Hover},
        {hover, true, true, false, LinkColour::Hover},
        {hover | kLinkNoFocusColour, false, true, true, LinkColour::Visited},
    };
    for (const Case& c : cases) {
        HyperlinkState s(c.flags);
        if (c.over) {
            s.pointerEntered();
        }
        if (c.focused) {
            s.focusGained();
        }
        s.opened(c.visited);
        EXPECT_EQ(s.colour(), c.expected) << c.flags << c.over << c.focused << c.visited;
    }
    EXPECT_EQ(LinkColourValue(LinkColour::Visited), (Rgb{128, 0, 128}));
    EXPECT_EQ(LinkColourValue(LinkColour::Focus), (Rgb{0, 128, 128}));
}

TEST(HyperlinkClicks, ReleaseFollowsOnlyAfterAPressOrFocusAndInside) {
    HyperlinkState s;
    EXPECT_FALSE(s.released(true)); // never pressed, never focused
    EXPECT_FALSE(s.pressed());
    EXPECT_TRUE(s.focused());
    EXPECT_FALSE(s.released(false)); // let go elsewhere
    EXPECT_TRUE(s.released(true));
    s.focusLost();
    EXPECT_FALSE(s.released(true));
    s.focusGained();
    EXPECT_TRUE(s.released(true));

    HyperlinkState onPress(kDefaultLinkFlags | kLinkOpenOnPress);
    EXPECT_TRUE(onPress.pressed());
    EXPECT_FALSE(onPress.released(true));
}

TEST(HyperlinkClicks, VisitedOnlyAfterASuccessfulOpenAndForGood) {
    HyperlinkState s;
    s.opened(false);
    EXPECT_FALSE(s.visited());
    s.pressed();
    s.opened(true);
    EXPECT_EQ(s.colour(), LinkColour::Focus); // still focused after the click
    s.focusLost();
    s.opened(false);
    EXPECT_TRUE(s.visited());
    EXPECT_EQ(s.colour(), LinkColour::Visited);
}

TEST(HyperlinkAutoSize, KeepsTheEdgeItsAlignmentNames) {
    struct Case {
        TextAlign align;
        bool centreVertically;
        int frame;
        IntRect expected;
    };
    const IntRect old{10, 20, 100, 30};
    const Case cases[] = {
        {TextAlign::Left, false, 0, {10, 20, 40, 12}},   {TextAlign::Right, false, 0, {70, 20, 40, 12}},
        {TextAlign::Centre, false, 0, {40, 20, 40, 12}}, {TextAlign::Left, true, 0, {10, 29, 40, 12}},
        {TextAlign::Left, false, 2, {10, 20, 42, 14}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitLinkToText(old, 40, 12, c.align, c.centreVertically, c.frame, c.frame), c.expected)
            << static_cast<int>(c.align) << c.centreVertically << c.frame;
    }
}

TEST(OpenAddress, FailureTextsNameTheCodeOrSayItIsUnknown) {
    EXPECT_EQ(OpenFailureText(kOpenNoAssociation),
              "Can't open link:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(OpenFailureText(kOpenAccessDenied),
              "Can't open link:\n\nThe operating system denied\naccess to the specified file.");
    EXPECT_EQ(OpenFailureText(42), "Can't open link:\n\nUnknown Error (42) occurred.");
    EXPECT_EQ(OpenFailureText(-7), "Can't open link:\n\nUnknown Error (-7) occurred.");
}

TEST(OpenAddress, AddressesBecomeUrlsMailOrFiles) {
    struct Case {
        const char* address;
        OpenTarget expected;
    };
    const Case cases[] = {
        {"", {}},
        {"http://a.test/x?y=1", {OpenTargetKind::Url, "http://a.test/x?y=1"}},
        {"HTTPS://a.test", {OpenTargetKind::Url, "HTTPS://a.test"}},
        {"mailto:me@a.test", {OpenTargetKind::Url, "mailto:me@a.test"}},
        {"support@a.test", {OpenTargetKind::Url, "mailto:support@a.test"}},
        {"www.a.test", {OpenTargetKind::Url, "http://www.a.test"}},
        {"127.0.0.1:8080/help", {OpenTargetKind::Url, "http://127.0.0.1:8080/help"}},
        {"a.test/login@home", {OpenTargetKind::Url, "http://a.test/login@home"}},
        {"/home/me/page.html", {OpenTargetKind::LocalFile, "/home/me/page.html"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenTargetFor(c.address), c.expected) << c.address;
    }
}

} // namespace
} // namespace sendwell
