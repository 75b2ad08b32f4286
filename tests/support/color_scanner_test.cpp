#include "support/color_scanner.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

constexpr TColor Lime = 0x00FF00;

char ColorLetter(TColor Color)
{
    switch (Color) {
    case ColorBlue:
        return 'B';
    case ColorRed:
        return 'R';
    case Lime:
        return 'G';
    case ColorWhite:
        return 'W';
    case ColorYellow:
        return 'Y';
    default:
        return '?';
    }
}

// The colouring of a text as one character per character: "." where no run lies, "-" for runs
// that are left alone (selection, tabs), else the letter of the run's colour.
std::string Marks(QStringView Text, const std::vector<TKeyDescr> &List)
{
    std::string marks(size_t(Text.size()), '.');
    for (const TKeyDescr &run : List) {
        for (int i = run.Start; i <= run.End; ++i)
            marks[size_t(i)] = run.Priority >= SelectionPriority ? '-' : ColorLetter(run.Color);
    }
    return marks;
}

// Runs as "start-end", colour letter, priority and "k" for a keyword, as in "1-4R0k".
std::string Runs(const std::vector<TKeyDescr> &List)
{
    std::string text;
    for (const TKeyDescr &run : List) {
        text += (text.empty() ? "" : " ") + std::to_string(run.Start) + "-" +
                std::to_string(run.End) + ColorLetter(run.Color) + std::to_string(run.Priority) +
                (run.Keyword ? "k" : "");
    }
    return text;
}

std::string Scan(const QString &Text, const TDrawRules &Rules,
                 const TColorScanner::TEditorState &Editor = {}, const THotSpot &HotSpot = {})
{
    TColorScanner scanner;
    return Marks(Text, scanner.Scan(Text, Rules, HotSpot, Editor, {}));
}

TDrawRules KeywordRules(const QStringList &Lines, bool KeyCase = false, bool PartWord = false)
{
    TDrawRules rules;
    TColorRule &rule = rules.Add();
    rule.KeyDrawingType = dtKeyShow;
    rule.PartWord = PartWord;
    rule.SetKeyCase(KeyCase);
    rule.SetDefKeyColor(ColorBlue);
    rule.SetKeywords(Lines);
    return rules;
}

TEST(ColorScanner, KeywordsMatchWholeWordsAsCaseAndPartWordSay)
{
    const struct
    {
        const char *Text;
        bool KeyCase, PartWord;
        const char *Marks;
    } cases[] = {
        {"connect", false, false, "BBBBBBB"},
        {"Connect", false, false, "BBBBBBB"},
        {"RECONNECT", false, false, "........."},
        {"CONNECTED", false, false, "........."},
        {"CONNECT2", false, false, "BBBBBBB."},
        {"_CONNECT_", false, false, ".BBBBBBB."},
        {"@CONNECT", false, false, "........"},
        {"CONNECT@", false, false, "........"},
        {"[CONNECT`", false, false, ".BBBBBBB."},
        {"\xc3\xa9"
         "CONNECT",
         false, false, ".BBBBBBB"},
        {"CONNECT connect\r\nCONNECT", false, false, "BBBBBBB.BBBBBBB..BBBBBBB"},
        {"connect", true, false, "......."},
        {"CONNECT Connect", true, false, "BBBBBBB........"},
        {"RECONNECT", false, true, "..BBBBBBB"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Scan(QString::fromUtf8(c.Text), KeywordRules({"CONNECT"}, c.KeyCase, c.PartWord)),
                  c.Marks)
            << c.Text << " KeyCase " << c.KeyCase << " PartWord " << c.PartWord;
    }
    // An occurrence, counted or not, is skipped whole: ABAB in ABABAB is found once.
    EXPECT_EQ(Scan("ABABAB", KeywordRules({"ABAB"}, false, true)), "BBBB..");
}

TEST(ColorScanner, KeywordLinesGiveTheirColour)
{
    const struct
    {
        QStringList Lines;
        const char *Marks;
    } cases[] = {
        {{"SEND;RED"}, "RRRR.."},
        {{"SEND;#00FF00"}, "GGGG.."},
        {{"SEND;nonsense"}, "WWWW.."},
        {{"SEND"}, "BBBB.."},
        {{"SEND;  "}, "BBBB.."},
        {{" send ;red"}, "RRRR.."},
        {{"", "   ", ";RED", "X;YELLOW"}, ".....Y"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Scan("SEND x", KeywordRules(c.Lines)), c.Marks)
            << c.Lines.join('|').toStdString();
    }

    // KeyCase and DefKeyColor apply to keywords set before them.
    TDrawRules rules = KeywordRules({"Send"});
    rules[0].SetDefKeyColor(Lime);
    EXPECT_EQ(Scan("SEND send Send", rules), "GGGG.GGGG.GGGG");
    rules[0].SetKeyCase(true);
    EXPECT_EQ(Scan("SEND send Send", rules), "..........GGGG");
}

TEST(ColorScanner, ParseColorReadsNamesAndRedGreenBlueNumbers)
{
    const struct
    {
        const char *Text;
        TColor Color;
    } cases[] = {
        {"RED", 0x0000FF},          {"  red\t", 0x0000FF}, {"Fuchsia", 0xFF00FF},
        {"navy", 0x800000},         {"#00FF00", 0x00FF00}, {"#FF0000", 0x0000FF},
        {"FF8000", 0x0080FF},       {"$0000ff", 0xFF0000}, {"12345678", 0x785634},
        {"0000000000FF", 0x000000}, // cut to ten characters
        {"nonsense", 0xFFFFFF},     {"REDDISH", 0xFFFFFF}, {"00$FF", 0xFFFFFF},
        {"$$FF", 0xFFFFFF},         {"#", 0xFFFFFF},       {"-FF", 0xFFFFFF},
        {"FFFFFFFFF", 0xFFFFFF},    {"", 0xFFFFFF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseColor(QString::fromLatin1(c.Text)), c.Color) << c.Text;
}

TEST(ColorScanner, MarkerRulesColourRangesAndLineEnds)
{
    const struct
    {
        QStringList Lines;
        TKeyDrawingType Kind;
        const char *Text;
        const char *Marks;
    } cases[] = {
        {{"/*;*/;LIME"}, dtBeginEnd, "a /* b */ c", "..GGGGGGG.."},
        {{"/*;*/;LIME"}, dtBeginEnd, "/* a\r\nb */ c", "GGGGGGGGGG.."},
        {{"/*;*/"}, dtBeginEnd, "/**/", "RRRR"},
        // A begin marker without its end marker ends the rule, also for later ones.
        {{"/*;*/;LIME"}, dtBeginEnd, "x /* y", "......"},
        {{"/*;*/;LIME"}, dtBeginEnd, "/**/ /* a", "GGGG....."},
        {{"/*;*/;LIME"}, dtBeginEnd, "/*/", "..."},
        // The search goes on from the second character of the end marker.
        {{"<;><;LIME"}, dtBeginEnd, "<a><b><", "GGGGGGG"},
        // The earliest begin marker wins; on a tie the earlier entry.
        {{"/*;*/;LIME", "{;};BLUE"}, dtBeginEnd, "{ /* } */", "BBBBBB..."},
        {{"/*;*/;LIME", "/;/;BLUE"}, dtBeginEnd, "/* x */", "GGGGGGG"},
        // Entries after one that is empty or has no ";" past its first character are not used.
        {{"", "/*;*/;LIME"}, dtBeginEnd, "/**/", "...."},
        {{";/*;*/", "/*;*/;LIME"}, dtBeginEnd, "/**/", "...."},
        {{"<<<<<<<<;>;LIME"}, dtBeginEnd, "<<<<<<a>", "GGGGGGGG"},
        {{"//;LIME"}, dtBeginLineEnd, "a // b\r\nc", "..GGGG..."},
        {{"//;LIME"}, dtBeginLineEnd, "a //\nb //", "..GG...GG"},
        {{";;LIME"}, dtBeginLineEnd, "SEND x ; y\r\nz", ".......GGG..."},
        {{";;"}, dtBeginLineEnd, "a;b", ".RR"},
        {{";x;LIME"}, dtBeginLineEnd, "a ;x;LIME b", "..RRRRRRRRR"},
        {{"REM", "#;BLUE"}, dtBeginLineEnd, "REM a #\r\nx #REM", "RRRRRRR....BBBB"},
        // Marker rules look at neither case nor word boundaries.
        {{"rem;LIME"}, dtBeginLineEnd, "REM xrem", ".....GGG"},
    };
    for (const auto &c : cases) {
        TDrawRules rules;
        TColorRule &rule = rules.Add();
        rule.KeyDrawingType = c.Kind;
        if (c.Kind == dtBeginEnd)
            rule.SetKeyBegEndLst(c.Lines);
        else
            rule.SetKeyLineEndLst(c.Lines);
        EXPECT_EQ(Scan(c.Text, rules), c.Marks)
            << c.Lines.join('|').toStdString() << " / " << c.Text;
    }
}

TEST(ColorScanner, PrioritiesDecideOverlapsAndRunsSplitAtEveryChange)
{
    TDrawRules rules;
    TColorRule &ranges = rules.Add();
    ranges.SetKeyBegEndLst({"<;>;LIME"});
    TColorRule &keywords = rules.Add();
    keywords.KeyDrawingType = dtKeyShow;
    keywords.SetKeywords({"SEND;RED"});

    // Equal priority: the later rule wins; a higher priority wins whatever the order.
    EXPECT_EQ(Scan("<SEND>", rules), "GRRRRG");
    keywords.ZOrder = 0;
    ranges.ZOrder = 1;
    EXPECT_EQ(Scan("<SEND>", rules), "GGGGGG");
    ranges.ZOrder = 0;
    keywords.Enabled = false;
    EXPECT_EQ(Scan("<SEND>", rules), "GGGGGG");
    keywords.Enabled = true;

    TColorScanner scanner;
    EXPECT_EQ(Runs(scanner.Scan(u"<SEND> x", rules, {}, {}, {})), "0-0G0 1-4R0k 5-5G0");

    // The selection and tabs (when the editor takes them) are laid over everything.
    TColorScanner::TEditorState editor;
    editor.SelStart = 2;
    editor.SelEnd = 4;
    EXPECT_EQ(Scan("<SEND> x", rules, editor), "GR--RG..");
    editor = {};
    editor.WantTabs = true;
    EXPECT_EQ(Scan("<a\tb>\t", rules, editor), "GG-GG-");
    editor.WantTabs = false;
    EXPECT_EQ(Scan("<a\tb>\t", rules, editor), "GGGGG.");
}

TEST(ColorScanner, HotSpotsMarkTheirTextAndAnswerTheMouse)
{
    THotSpot hotSpot{
        .BeginChar = u'[', .EndChar = u']', .MarkerColor = ColorYellow, .Active = true};
    TDrawRules rules = KeywordRules({"LINK;RED"});

    // Markers win over keywords; a begin without an end ends the search.
    TColorScanner scanner;
    const QString text = "a [LINK] LINK [] [x";
    EXPECT_EQ(Runs(scanner.Scan(text, rules, hotSpot, {}, {})),
              "2-2Y253 3-6B252 7-7Y253 9-12R0k 14-15Y253");
    hotSpot.Active = false;
    EXPECT_EQ(Scan(text, rules, {}, hotSpot), "...RRRR..RRRR......");
    hotSpot.Active = true;
    hotSpot.BeginChar = QChar(0);
    EXPECT_EQ(Scan(text, rules, {}, hotSpot), "...RRRR..RRRR......");
    hotSpot.BeginChar = u'[';

    const struct
    {
        char Begin, End;
        const char *Line;
        int Column;
        bool Over;
        const char *Text;
    } cases[] = {
        {'[', ']', "go [here] or [there]", 4, true, "here"},
        {'[', ']', "go [here] or [there]", 8, true, "here"},
        {'[', ']', "go [here] or [there]", 3, false, ""},
        {'[', ']', "go [here] or [there]", 10, false, ""},
        {'[', ']', "go [here] or [there]", 15, true, "there"},
        {'[', ']', "go [here] or [there]", 20, false, ""},
        {'[', ']', "no start] here", 1, true, "no start"},
        {'|', '|', "a |b| c", 3, true, "b"},
        {'|', '|', "a |b| c", 0, true, "a "},
        {'|', '|', "a |b| c", 5, false, ""},
    };
    for (const auto &c : cases) {
        hotSpot.BeginChar = QChar(c.Begin);
        hotSpot.EndChar = QChar(c.End);
        const QString line = QString::fromLatin1(c.Line);
        EXPECT_EQ(OverHotSpot(hotSpot, line, c.Column), c.Over) << c.Line << " @" << c.Column;
        if (c.Over) {
            EXPECT_EQ(HotSpotText(hotSpot, line, c.Column), c.Text) << c.Line << " @" << c.Column;
        }
    }
    hotSpot.Active = false;
    EXPECT_FALSE(OverHotSpot(hotSpot, u"go [here]", 4));
}

TEST(ColorScanner, EventRulesTakeWhatOnDrawGivesWithinBounds)
{
    TDrawRules rules;
    TColorRule &rule = rules.Add();
    rule.KeyDrawingType = dtEventDraw;
    rule.ZOrder = 7;
    const QString text = "0123456789";
    int calls = 0;
    const TColorScanner::TDrawEvent onDraw = [&](const TColorRule *Sender, QStringView FromPos,
                                                 std::span<TKeyDescr> A, int &ItemsCount) {
        ++calls;
        EXPECT_EQ(Sender, &rule);
        EXPECT_EQ(FromPos, text);
        EXPECT_EQ(ItemsCount, 0);
        ASSERT_EQ(A.size(), 3u);
        for (const TKeyDescr &d : A)
            EXPECT_EQ(d.Start, TKeyDescr::FreeStart);
        A[0] = {1, 2, ColorRed, 0, false};
        A[1] = {8, 40, Lime, 9, false};     // runs past the text: cut at its end
        A[2] = {6, 5, ColorBlue, 0, false}; // ends before it starts: dropped
        ItemsCount = 8000;                  // more than the array holds
    };

    TColorScanner scanner;
    EXPECT_EQ(Runs(scanner.Scan(text, rules, {}, {}, onDraw)), "");
    EXPECT_EQ(calls, 0); // no array yet
    scanner.SetColorLimMax(3);
    EXPECT_EQ(Runs(scanner.Scan(text, rules, {}, {}, onDraw)), "1-2R7 8-9G9");
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace tarn
