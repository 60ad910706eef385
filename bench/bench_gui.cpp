// The main window driven offscreen on a 200,000-note document, 50,000 of them
// siblings under one note. Each command is timed until the event loop is idle
// again, beside a key press that does nothing, and printed as a ratio to it.

#include "BenchWords.h"
#include "ProcessMemory.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/Prompt.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void writeDocument(const QString &path)
{
    TNoteTree tree;
    quint32 seed = 1;
    TNote *big = tree.AddNote(nullptr, u"Archive"_s, imLastChild, noteBody(seed++));
    for (int i = 0; i < 50000; ++i, ++seed)
        tree.AddNote(big, u"Entry %1 "_s.arg(i) + words(seed, 2), imLastChild, noteBody(seed));
    for (int r = 0; r < 100; ++r) {
        TNote *root = tree.AddNote(nullptr, words(seed, 2), imLastChild, noteBody(seed));
        ++seed;
        for (int c = 0; c < 10; ++c) {
            TNote *child = tree.AddNote(root, words(seed, 3), imLastChild, noteBody(seed));
            ++seed;
            for (int g = 0; g < 149; ++g, ++seed)
                tree.AddNote(child, u"%1 "_s.arg(g) + words(seed, 3), imLastChild, noteBody(seed));
        }
    }
    tree.AddNote(nullptr, u"The very last note"_s, imLastChild, noteBody(seed));
    TArchive archive(&tree);
    archive.WriteNotes(nullptr, path);
}

// Runs the event loop until nothing is left to do.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

double timed(const std::function<void()> &command)
{
    QElapsedTimer timer;
    timer.start();
    command();
    settle();
    return timer.nsecsElapsed() / 1e6;
}

// The median of a few runs: the machine is shared.
double median(int runs, const std::function<void()> &prepare, const std::function<void()> &command)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        settle();
        ms.push_back(timed(command));
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(u"config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    // Recovery copies too: one left by an earlier run would be offered, and taken, at
    // the start measured here.
    qputenv("XDG_STATE_HOME", dir.filePath(u"state"_s).toUtf8());
    QApplication app(argc, argv);
    const QString path = dir.filePath(u"bench.vlt"_s);
    // Written by a child process, so that its tree leaves nothing in this heap.
    const pid_t writer = fork();
    if (writer == 0) {
        writeDocument(path);
        _exit(0);
    }
    if (writer < 0 || waitpid(writer, nullptr, 0) != writer || !QFileInfo::exists(path))
        return 1;
    TMessageService::Answer = [](const TMessageRequest &) { return QMessageBox::Yes; };
    TfrmNewNote::RunModal = [](TfrmNewNote &dialog) {
        dialog.edtNoteName->setText(u"New"_s);
        dialog.cbxAddType->setCurrentIndex(imAfter);
        return int(QDialog::Accepted);
    };

    // The start is timed cold: the first window of the process.
    std::unique_ptr<TfrmMain> window;
    const auto open = [&] {
        window = std::make_unique<TfrmMain>(TfrmMain::TStartup{path});
        window->show();
        const bool shown = QTest::qWaitForWindowExposed(window.get());
        settle();
        return shown;
    };
    QElapsedTimer startTimer;
    startTimer.start();
    if (!open())
        return 1;
    const double startMs = startTimer.nsecsElapsed() / 1e6;
    // What the window holds for its document is measured on a second one, beyond what
    // the first left: fonts, styles and caches that any window keeps.
    window.reset();
    settle();
    malloc_trim(0);
    const qint64 rssBefore = statusBytes("VmRSS");
    resetPeak(); // the peak starts again from here
    if (!open())
        return 1;
    // Memory as multiples of the file's size: after the load and its peak, then what
    // three saves leave and their peak.
    const double fileSize = static_cast<double>(QFileInfo(path).size());
    const auto multiple = [&](const char *field) {
        return static_cast<double>(statusBytes(field) - rssBefore) / fileSize;
    };
    const double rssLoaded = multiple("VmRSS");
    const double peakLoaded = multiple("VmHWM");
    resetPeak();
    const double saveMs = median(3, [&] { window->SetModified(true); }, [&] {
        window->findChild<QAction *>(u"miFileSave"_s)->trigger();
    });
    const double rssSaved = multiple("VmRSS");
    const double peakSaved = multiple("VmHWM");

    TNoteTree *tree = window->TopicTreeModel;
    TNoteTreeView *view = window->TopicTree;
    view->setFocus();
    settle();
    auto run = [&](const char *name) { window->findChild<QAction *>(QLatin1String(name))->trigger(); };
    TNote *archive = tree->FirstNote();
    auto middle = [&] { return archive->Child(archive->ChildCount() / 2); };
    auto selectMiddle = [&] { view->selectNote(middle()); };

    struct Row { const char *name; double ms; double goal; };
    std::vector<Row> rows;
    // An argument keeps only the commands whose names contain it.
    const QString filter = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto measure = [&](const char *name, double goal, int runs, const std::function<void()> &prepare,
                       const std::function<void()> &command) {
        if (filter.isEmpty() || QLatin1String(name).contains(filter))
            rows.push_back({name, median(runs, prepare, command), goal});
    };
    const int runs = 5;
    const double noop = median(runs, {}, [&] { QTest::keyClick(view, Qt::Key_F24); });
    rows.push_back({"no-op key round trip", noop, 0});
    rows.push_back({"start to interactive window", startMs, 500});
    measure("move up (50k siblings)", 16, runs, selectMiddle, [&] { run("btnMoveUp"); });
    measure("move down (50k siblings)", 16, runs, selectMiddle, [&] { run("btnMoveDown"); });
    measure("add (50k siblings)", 16, runs, selectMiddle, [&] { run("btnAddNote"); });
    measure("rename (50k siblings)", 16, runs, selectMiddle, [&] {
                        tree->SetTitle(view->selectedNote(), u"Renamed"_s);
                    });
    measure("delete (50k siblings)", 16, runs, selectMiddle, [&] { run("miNotesDelete"); });
    // Undo and redo of a delete: the redo rows start where the undo rows end, and take
    // the step back again before each further run.
    auto redoAgain = [&] {
        if (!window->UndoStack()->CanRedo())
            window->UndoTreeChange();
    };
    measure("undo delete (50k siblings)", 16, runs, [&] {
                        selectMiddle();
                        run("miNotesDelete");
                    }, [&] { window->UndoTreeChange(); });
    measure("redo delete (50k siblings)", 16, runs, redoAgain, [&] { window->RedoTreeChange(); });
    window->UndoTreeChange();
    measure("copy one (50k siblings)", 16, runs, selectMiddle, [&] { run("miNotesCopy"); });
    measure("paste one (50k siblings)", 16, runs, selectMiddle, [&] { run("miNotesPaste"); });
    const int fewer = 3;
    measure("expand all (200k)", 100, fewer, [&] { view->collapseAll(); }, [&] {
                        view->expandAllNotes();
                    });
    measure("collapse all (200k)", 100, fewer, [&] { view->expandAllNotes(); }, [&] {
                        view->collapseAll();
                    });
    auto selectArchive = [&] { view->selectNote(tree->FirstNote()); };
    // Once each on titles out of order ("Entry 10" sorts before "Entry 2"), then on a
    // sorted tree.
    measure("sort children (50k)", 100, 1, selectArchive, [&] { run("miSortChildren"); });
    measure("sort tree (200k)", 100, 1, selectArchive, [&] { run("miSortTree"); });
    measure("sort tree again (sorted)", 100, fewer, selectArchive, [&] { run("miSortTree"); });
    measure("copy 50k branch", 100, fewer, selectArchive, [&] { run("miNotesCopy"); });
    measure("paste 50k branch", 100, fewer, selectArchive, [&] { run("miNotesPaste"); });
    // Deletes the pasted copies again.
    measure("delete 50k branch", 100, fewer, [&] {
                        view->selectNote(tree->FirstNote()->NextSibling());
                    }, [&] { run("miNotesDelete"); });

    measure("undo delete 50k branch", 100, fewer, [&] {
                        view->selectNote(archive);
                        run("miNotesDelete");
                    }, [&] { window->UndoTreeChange(); });
    measure("redo delete 50k branch", 100, fewer, redoAgain, [&] { window->RedoTreeChange(); });
    window->UndoTreeChange();

    rows.push_back({"save (Ctrl+S, 200k)", saveMs, 0});
    const double rssEnd = multiple("VmRSS");

    std::printf("%-30s %10s %10s %8s\n", "command", "ms", "vs no-op", "goal ms");
    for (const Row &row : rows)
        std::printf("%-30s %10.2f %10.1f %8.0f%s\n", row.name, row.ms, row.ms / noop, row.goal,
                    row.goal > 0 && row.ms > row.goal ? "  (over)" : "");
    std::printf("resident memory / file size (goal 2.5, peak 3): %.2f after the load (peak %.2f), "
                "%.2f after three saves (peak %.2f), %.2f after all commands\n",
                rssLoaded, peakLoaded, rssSaved, peakSaved, rssEnd);
    window->hide();
    window.reset();
    return 0;
}
