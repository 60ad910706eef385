// Composing notes into print lines, the notes print set-up, and the stored choices.

#include "print/PrintJob.h"
#include "QtPrinters.h"
#include "RecordingDevice.h"
#include "notes/NoteTree.h"
#include "print/LinePrnt.h"
#include "settings/LngMan.h"
#include "settings/RegistryStore.h"
#include "settings/TempRegistry.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class ComposeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A (body a1, a2) with child B (no body) and grandchild C (body c); then D.
        a = tree.AddNote(nullptr, u"A"_s, imLastSibling, u"a1\r\na2\r\n");
        b = tree.AddNote(a, u"B"_s, imLastChild);
        tree.AddNote(b, u"C"_s, imLastChild, u"c\r\n");
        tree.AddNote(nullptr, u"D"_s, imLastSibling);
    }

    TNoteTree tree;
    TNote *a = nullptr;
    TNote *b = nullptr;
};

TEST_F(ComposeTest, ScopesComposeTheirLines)
{
    const QString editor = u"first\r\nsecond\rthird\n"_s;
    const std::vector<std::tuple<int, TNote *, QStringList>> cases {
        { psCurrentNote, a, { u"first"_s, u"second"_s, u"third"_s } },
        { psCurrentTree, b, { u"B"_s, u""_s, u"C"_s, u""_s, u"c"_s, u""_s, u""_s } },
        { psCurrentTree, nullptr, {} },
        { psHeadingsOnly, b, { u"A"_s, u""_s, u"B"_s, u""_s, u"C"_s, u""_s, u"D"_s, u""_s } },
        { psAllNotes, nullptr,
            { u"A"_s, u""_s, u"a1"_s, u"a2"_s, u""_s, u""_s, u"B"_s, u""_s, u"C"_s, u""_s, u"c"_s,
                u""_s, u""_s, u"D"_s, u""_s } },
        { -1, a, {} },
    };
    for (const auto &[scope, selected, expected] : cases)
        EXPECT_EQ(ComposePrintLines(scope, tree, selected, editor), expected) << scope;
}

TEST_F(ComposeTest, BranchOfALeafStopsAtTheLeaf)
{
    TNote *c = b->FirstChild();
    EXPECT_EQ(ComposePrintLines(psCurrentTree, tree, c, {}),
        QStringList({ u"C"_s, u""_s, u"c"_s, u""_s, u""_s }));
}

TEST_F(ComposeTest, LineBreaksInsideLinesAreNormalised)
{
    a->SetBody(QStringList { u"x\ry"_s, u"z\r\n"_s });
    EXPECT_EQ(ComposePrintLines(psCurrentTree, tree, a, {}).mid(0, 6),
        QStringList({ u"A"_s, u""_s, u"x"_s, u"y"_s, u"z"_s, u""_s }));
}

TEST(PrintJob, EmptyJobRaisesNothingToPrint)
{
    TRecordingDevice device;
    TLinePrinter printer(&device);
    try {
        PrintNotes(printer, TPrintJob());
        FAIL() << "no exception";
    } catch (const ENothingToPrint &e) {
        EXPECT_EQ(e.message(), u"There is nothing to print."_s);
    }
    EXPECT_FALSE(device.Ended);
}

TEST(PrintJob, SetsMarginsFooterAndTitle)
{
    QLocale::setDefault(QLocale(QLocale::German));
    TRecordingDevice device;
    TLinePrinter printer(&device);
    SetUpNotesPrinter(printer);
    TPrintJob job;
    job.Lines = { u"x"_s };
    job.Title = u"/tmp/n.vlt"_s;
    job.MarginLeft = u"20"_s;
    job.MarginTop = u"oops"_s; // not a number: 10 mm
    job.TabSize = 4;
    PrintNotes(printer, job);
    QLocale::setDefault(QLocale::c());
    EXPECT_FLOAT_EQ(printer.MarginLeft(), 20);
    EXPECT_FLOAT_EQ(printer.MarginTop(), 10);
    EXPECT_EQ(printer.TabSize, 4);
    EXPECT_EQ(printer.FooterFormat, u"^177,8"_s);
    EXPECT_EQ(printer.Title(), u"/tmp/n.vlt"_s);
    ASSERT_EQ(device.Pages.size(), 1u);
    // The footer comes first, centred in 1778 pixels from the left margin.
    EXPECT_EQ(device.Pages[0].texts.at(0).text, u"Page 1"_s);
    EXPECT_EQ(device.Pages[0].texts.at(0).x, 140 + (1778 - 60) / 2);
    EXPECT_EQ(device.Pages[0].texts.at(1).text, u"x"_s);

    job.PageNumbers = false;
    PrintNotes(printer, job);
    EXPECT_EQ(device.PageTexts().at(0), QStringList { u"x"_s });
}

// A progress view that keeps every status it is shown.
class StatusRecorder final : public TPrintProgressView
{
public:
    explicit StatusRecorder(QStringList &statuses) : m_statuses(statuses) { }
    void Update(const QString *status, const QString &, int) override
    {
        if (status && !m_statuses.contains(*status))
            m_statuses << *status;
    }

private:
    QStringList &m_statuses;
};

TEST(PrintJob, FooterAndProgressSpeakTheUsersLanguage)
{
    const auto printIn = [](const QString &language, QStringList &statuses) {
        LanguageManager().SetFolder(QStringLiteral(VT_LNG_DIR));
        LanguageManager().SetLanguage(language);
        TRecordingDevice device;
        TLinePrinter printer(&device);
        SetUpNotesPrinter(printer);
        printer.ShowProgress = true;
        printer.ProgressFactory = [&statuses] { return std::make_unique<StatusRecorder>(statuses); };
        TPrintJob job;
        job.Lines = { u"x"_s };
        PrintNotes(printer, job);
        return device.PageTexts().at(0).value(0);
    };
    QStringList german;
    const QString germanFooter = printIn(u"Deutsch.lng"_s, german);
    QStringList english;
    const QString englishFooter = printIn(u"English.lng"_s, english);
    EXPECT_EQ(germanFooter, u"Seite 1"_s);
    EXPECT_EQ(german,
        QStringList({ u"Druck wird vorbereitet"_s, u"Es wird gedruckt"_s, u"Druck abgeschlossen"_s }));
    EXPECT_EQ(englishFooter, u"Page 1"_s);
    EXPECT_EQ(english,
        QStringList({ u"Preparing to Print"_s, u"Currently Printing"_s, u"Finished Printing"_s }));
}

class PrintSettingsTest : public TempRegistryTest
{
protected:
    // Stores a whole set of choices (scope 2), then lets damage change one value.
    static void storeDamaged(const std::function<void(TRegistryStore &)> &damage)
    {
        TRegistryStore store;
        TPrintSettings s;
        s.Option = 2;
        s.Save(store);
        store.OpenKey(TPrintSettings::Key, false);
        damage(store);
        store.Flush();
    }
};

TEST_F(PrintSettingsTest, FirstUseGivesTheDefaultsAndTheEditorFont)
{
    TFontDesc editorFont;
    editorFont.Name = u"Mono"_s;
    TRegistryStore store;
    const TPrintSettings s = TPrintSettings::Load(store, editorFont);
    EXPECT_EQ(s.Option, 0);
    EXPECT_TRUE(s.PageNumbers);
    EXPECT_EQ(s.Font, editorFont);
    EXPECT_EQ(s.MLeft, u"10"_s);
    EXPECT_EQ(s.MBottom, u"10"_s);
}

TEST_F(PrintSettingsTest, SavedInOrderAndReadBack)
{
    TPrintSettings s;
    s.Option = 3;
    s.PageNumbers = false;
    s.Font.Name = u"Courier New"_s;
    s.MLeft = u"15"_s;
    {
        TRegistryStore store;
        s.Save(store);
    }
    TRegistryStore store;
    ASSERT_TRUE(store.OpenKeyReadOnly(TPrintSettings::Key));
    EXPECT_EQ(store.GetValueNames(),
        QStringList({ u"Page numbers"_s, u"Font"_s, u"Option"_s, u"MLeft"_s, u"MRight"_s, u"MTop"_s,
            u"MBottom"_s }));
    const TPrintSettings back = TPrintSettings::Load(store, TFontDesc());
    EXPECT_EQ(back.Option, 3);
    EXPECT_FALSE(back.PageNumbers);
    EXPECT_EQ(back.Font, s.Font);
    EXPECT_EQ(back.MLeft, u"15"_s);
}

TEST_F(PrintSettingsTest, AnyUnreadableValueGivesAllDefaults)
{
    storeDamaged([](TRegistryStore &store) {
        store.WriteString(u"MTop"_s, u"5"_s);
        store.WriteInteger(u"MBottom"_s, 5); // a number where a text belongs
    });
    TRegistryStore store;
    const TPrintSettings s = TPrintSettings::Load(store, TFontDesc());
    EXPECT_EQ(s.Option, 0);
    EXPECT_EQ(s.MTop, u"10"_s);
}

TEST_F(PrintSettingsTest, DamagedFontTextGivesTheDefaults)
{
    storeDamaged([](TRegistryStore &store) {
        store.WriteString(u"Font"_s, u"Arial,10,0,0,notacolour,0,"_s);
    });
    TRegistryStore store;
    EXPECT_EQ(TPrintSettings::Load(store, TFontDesc()).Option, 0);
}

} // namespace
