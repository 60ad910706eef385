#include "settings/UtilsGui.h"

#include "Errors.h"
#include "app/MessageService.h"
#include "settings/LngMan.h"
#include "settings/ShellTarget.h"
#include "settings/UtilsFile.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcShell, "vellumtree.shell", QtCriticalMsg)

// Outside any namespace, as Q_INIT_RESOURCE requires: the installed desktop entry and
// MIME packages, compiled into this static library.
static void initDesktopResource()
{
    Q_INIT_RESOURCE(desktop);
}

namespace {

constexpr int kShellOk = 33;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNoAssociation = 31;

const QString kDesktopFileName = u"vellumtree.desktop"_s;

int startProgram(const QStringList &command)
{
    QStringList arguments = command;
    QString program = arguments.takeFirst();
    if (!QFileInfo(program).isFile()) {
        program = QStandardPaths::findExecutable(program);
        if (program.isEmpty())
            return kFileNotFound;
    }
    return QProcess::startDetached(program, arguments) ? kShellOk : kAccessDenied;
}

int executeRequest(const TShellRequest &request)
{
    if (!request.Command.isEmpty())
        return startProgram(request.Command);
    if (!request.Url.isValid())
        return kFileNotFound;
    return QDesktopServices::openUrl(request.Url) ? kShellOk : kNoAssociation;
}

bool confirmOpening(QWidget *owner, const QString &text)
{
    return TMessageService::Ask(owner, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
               QMessageBox::Warning)
        == QMessageBox::Yes;
}

// A language text naming Value, its "|" line breaks made real first, so that a "|"
// in Value stays as it is.
QString linkText(const QString &key, const QString &value)
{
    QString format = LanguageManager().GetString(key, u"Strings"_s);
    format.replace(u'|', u'\n');
    return FormatString(format, value);
}

void showShellError(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, u"Error opening URL"_s, text, QMessageBox::Ok, owner);
    box.exec();
}

QString runForOutput(const QString &program, const QStringList &arguments)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return {};
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void runTool(const QString &program, const QStringList &arguments, bool wait)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return;
    if (!wait) {
        QProcess::startDetached(path, arguments);
        return;
    }
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(20000))
        process.kill();
    qCDebug(lcShell) << program << arguments << process.exitCode();
}

QString locateDesktopFile(const QString &id)
{
    QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    // Desktop file ids map "-" to sub-folders: "kde-foo.desktop" may be kde/foo.desktop.
    QString candidate = id;
    for (qsizetype dash = candidate.indexOf(u'-'); found.isEmpty() && dash > 0;
         dash = candidate.indexOf(u'-', dash + 1)) {
        candidate[dash] = u'/';
        found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, candidate);
    }
    return found;
}

bool isPlainExtension(const QString &name)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9_+-]{1,32}$"_s);
    return plain.match(name).hasMatch();
}

// An argument of an Exec line, quoted as the desktop entry format wants it, then
// escaped once more for the file's string syntax.
QString desktopExecArgument(const QString &argument)
{
    QString quoted;
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    quoted.replace(u'%', u"%%"_s);
    quoted.replace(u'\\', u"\\\\"_s);
    return quoted;
}

void writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw EFileError(u"Cannot create the folder of %1"_s.arg(path));
    WriteFileAtomically(path, content);
}

QString resourceText(const QString &path)
{
    initDesktopResource();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList existingMimeTypes(const QString &desktopPath)
{
    QFile file(desktopPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(u"MimeType="_s))
            return line.sliced(9).split(u';', Qt::SkipEmptyParts);
    }
    return {};
}

void refreshDesktop(const QString &dataHome, const QStringList &mimeTypes, bool wait)
{
    runTool(u"update-mime-database"_s, { QDir(dataHome).filePath(u"mime"_s) }, wait);
    runTool(u"update-desktop-database"_s, { QDir(dataHome).filePath(u"applications"_s) }, wait);
    runTool(u"xdg-mime"_s, QStringList { u"default"_s, kDesktopFileName } + mimeTypes, wait);
}

} // namespace

QString FileExtension(const QString &Name)
{
    for (qsizetype i = Name.size() - 1; i >= 0; --i) {
        const QChar c = Name[i];
        if (c == u'.')
            return Name.sliced(i);
        if (c == u'/' || c == u'\\' || c == u':')
            break;
    }
    return {};
}

QString ShellErrorText(int Result)
{
    switch (Result) {
    case 0:
        return u"Error: Out of Memory"_s;
    case 2:
        return u"Error: File not found"_s;
    case 3:
        return u"Error: Directory not found"_s;
    case 11:
        return u"Error: Wrong format in EXE"_s;
    default:
        return u"Error Nr: "_s + QString::number(Result) + u" in ShellExecute"_s;
    }
}

TShellServices DefaultShellServices()
{
    return { GetAssociatedProgram, executeRequest, showShellError, confirmOpening };
}

void ShellOpen(const QString &Target, bool NewWindow, const TShellServices &Services)
{
    QWidget *owner = QApplication::activeWindow();
    const auto execute = [&](const TShellRequest &request) {
        const int result = Services.Execute ? Services.Execute(request) : 0;
        if (result <= 32 && Services.ReportError)
            Services.ReportError(owner, ShellErrorText(result));
    };
    const auto confirm
        = [&](const QString &text) { return Services.Confirm && Services.Confirm(owner, text); };
    const auto report = [&](const QString &text) {
        if (Services.ReportError)
            Services.ReportError(owner, text);
    };

    if (NewWindow) {
        const QUrl address = BrowserAddress(Target);
        const QString browser = address.isValid() && Services.AssociatedProgram
            ? Services.AssociatedProgram(u".htm"_s)
            : QString();
        const QStringList command = BrowserCommand(browser, address);
        if (!command.isEmpty()) {
            execute({ address, command });
            return;
        }
    }

    const TOpenPlan plan = PlanOpen(Target);
    qCDebug(lcShell) << "open" << Target << int(plan.Action) << plan.Url;
    switch (plan.Action) {
    case TOpenAction::Open:
        execute({ plan.Url, {} });
        break;
    case TOpenAction::AskScheme:
        if (confirm(linkText(u"link_other_scheme"_s, plan.Shown)))
            execute({ plan.Url, {} });
        break;
    case TOpenAction::ShowInFolder:
        if (confirm(linkText(u"link_runnable"_s, plan.Shown)))
            execute({ plan.Url, {} });
        break;
    case TOpenAction::FileNotFound:
        report(ShellErrorText(kFileNotFound));
        break;
    case TOpenAction::FolderNotFound:
        report(ShellErrorText(kPathNotFound));
        break;
    case TOpenAction::Invalid:
        report(linkText(u"link_invalid"_s, plan.Shown));
        break;
    }
}

void ShellOpen(const QString &Target, bool NewWindow)
{
    ShellOpen(Target, NewWindow, DefaultShellServices());
}

QString ProgramFromCommand(const QString &Command)
{
    QString command = Command;
    const qsizetype percent = command.indexOf(u'%');
    if (percent >= 0)
        command.truncate(percent);
    if (command.startsWith(u'"'))
        command.remove(0, 1);
    const qsizetype quote = command.indexOf(u'"');
    if (quote >= 0)
        command.truncate(quote);
    qsizetype begin = 0;
    qsizetype end = command.size();
    while (begin < end && command[begin] == u' ')
        ++begin;
    while (end > begin && command[end - 1] == u' ')
        --end;
    return command.mid(begin, end - begin);
}

QString DesktopEntryExec(const QString &DesktopFileText)
{
    bool inEntry = false;
    const QStringList lines = DesktopFileText.split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        if (!inEntry || !line.startsWith(u"Exec"_s))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || line.first(eq).trimmed() != u"Exec"_s)
            continue;
        QString value = line.sliced(eq + 1).trimmed();
        // The file's own string escapes; "\\" stands for one backslash.
        value.replace(u"\\\\"_s, u"\\"_s);
        return value;
    }
    return {};
}

QString GetAssociatedProgram(const QString &Extension)
{
    const QString extension = Extension.startsWith(u'.') ? Extension : u'.' + Extension;
    if (extension.size() < 2)
        return {};
    const QMimeType mime
        = QMimeDatabase().mimeTypeForFile(u"file"_s + extension, QMimeDatabase::MatchExtension);
    if (!mime.isValid() || mime.isDefault())
        return {};
    const QString desktopId = runForOutput(u"xdg-mime"_s, { u"query"_s, u"default"_s, mime.name() })
                                  .section(u'\n', 0, 0)
                                  .trimmed();
    if (desktopId.isEmpty())
        return {};
    QFile file(locateDesktopFile(desktopId));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString program = ProgramFromCommand(DesktopEntryExec(QString::fromUtf8(file.readAll())));
    if (program.isEmpty() || program.contains(u'/'))
        return program;
    const QString resolved = QStandardPaths::findExecutable(program);
    return resolved.isEmpty() ? program : resolved;
}

QString RegisteredMimeType(const QString &Extension)
{
    const QString name = Extension.startsWith(u'.') ? Extension.sliced(1) : Extension;
    return u"application/x-vellumtree-"_s + name.toLower();
}

void RegisterFileType(
    const QString &Extension, const QString &ProgramPath, int IconIndex, bool RunDesktopTools)
{
    Q_UNUSED(IconIndex); // icons of a desktop entry are named, not counted
    const QString name = Extension.startsWith(u'.') ? Extension.sliced(1) : Extension;
    if (!isPlainExtension(name))
        throw EFileError(u"Invalid file extension: %1"_s.arg(Extension));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        throw EFileError(u"No folder for desktop data"_s);
    const QString mimeType = RegisteredMimeType(name);
    const QString mimeRoot = QDir(dataHome).filePath(u"mime"_s);
    const QString packagePath
        = QDir(mimeRoot).filePath(u"packages/vellumtree-%1.xml"_s.arg(name.toLower()));
    // The program's own types come with the package the installation puts in place, so
    // per-user and installed association agree; other extensions get a plain one.
    QString package = resourceText(u":/desktop/vellumtree-%1.xml"_s.arg(name.toLower()));
    if (package.isEmpty())
        package = uR"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="%1">
    <comment>Vellumtree file (.%2)</comment>
    <glob pattern="*.%2"/>
  </mime-type>
</mime-info>
)"_s.arg(mimeType, name.toLower());
    writeFile(packagePath, package.toUtf8());

    const QString applications = QDir(dataHome).filePath(u"applications"_s);
    const QString desktopPath = QDir(applications).filePath(kDesktopFileName);
    QStringList mimeTypes = existingMimeTypes(desktopPath);
    if (!mimeTypes.contains(mimeType))
        mimeTypes.append(mimeType);
    // The installed entry with this program and the registered types: the per-user one
    // has the same desktop id and replaces it.
    QStringList entry = resourceText(u":/desktop/vellumtree.desktop"_s).split(u'\n');
    for (QString &line : entry) {
        if (line.startsWith(u"Exec="_s))
            line = u"Exec=%1 %f"_s.arg(desktopExecArgument(ProgramPath));
        else if (line.startsWith(u"MimeType="_s))
            line = u"MimeType=%1;"_s.arg(mimeTypes.join(u';'));
    }
    writeFile(desktopPath, entry.join(u'\n').toUtf8());

    if (RunDesktopTools)
        refreshDesktop(dataHome, { mimeType }, true);
}

void AnnounceFileTypes(const QStringList &Extensions)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return;
    QStringList mimeTypes;
    for (const QString &extension : Extensions)
        mimeTypes.append(RegisteredMimeType(extension));
    refreshDesktop(dataHome, mimeTypes, false);
}

void SetClipboardText(const QString &Text)
{
    const qsizetype nul = Text.indexOf(QChar(0));
    QGuiApplication::clipboard()->setText(nul < 0 ? Text : Text.first(nul));
}

QString GetClipboardText()
{
    const QString text = QGuiApplication::clipboard()->text();
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.first(nul);
}

void SetStayOnTop(QWidget *Window, bool OnTop)
{
    if (!Window)
        return;
    QWidget *window = Window->window();
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == OnTop)
        return;
    // Changing a window flag hides the window; show it again where it was, unactivated.
    // A maximised or full-screen window keeps its state and its restore rectangle: given
    // its present rectangle, it would stay screen-sized when restored.
    const bool visible = window->isVisible();
    const Qt::WindowStates state = window->windowState();
    const bool stretched = state & (Qt::WindowMaximized | Qt::WindowFullScreen);
    const QRect geometry = stretched ? window->normalGeometry() : window->geometry();
    const bool noActivate = window->testAttribute(Qt::WA_ShowWithoutActivating);
    window->setWindowFlag(Qt::WindowStaysOnTopHint, OnTop);
    if (visible) {
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        if (stretched)
            window->setWindowState(state & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        window->setGeometry(geometry);
        window->setWindowState(state);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, noActivate);
    }
}

bool CanPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(u"wayland"_s);
}

void ForceForegroundWindow(QWidget *Window)
{
    if (!Window)
        return;
    QWidget *window = Window->window();
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    // A Wayland compositor activates a window only with a token that a user's action
    // earned (a launcher's, handed over by a second start); asked without one, it
    // refuses and Qt complains on standard error.
    if (CanPlaceWindows() || !qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"))
        window->activateWindow();
}

namespace {

template <typename Editor> void charPosToScreen(Editor *editor, int charIndex, QPoint &point)
{
    if (!editor)
        return;
    QTextCursor cursor(editor->document());
    const int last = editor->document()->characterCount() - 1;
    cursor.setPosition(qBound(0, charIndex, qMax(0, last)));
    const QRect rect = editor->cursorRect(cursor);
    point = editor->viewport()->mapToGlobal(rect.topLeft());
}

} // namespace

void CharPosToScreen(QPlainTextEdit *Editor, int CharIndex, QPoint &Point)
{
    charPosToScreen(Editor, CharIndex, Point);
}

void CharPosToScreen(QTextEdit *Editor, int CharIndex, QPoint &Point)
{
    charPosToScreen(Editor, CharIndex, Point);
}

QList<QPixmap> CutImageStrip(const QImage &Strip, QSize ImageSize)
{
    QList<QPixmap> images;
    if (Strip.isNull() || ImageSize.isEmpty())
        return images;
    QImage argb = Strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb magenta = qRgb(255, 0, 255);
    for (int y = 0; y < argb.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] | 0xFF000000u) == magenta)
                line[x] = 0;
        }
    }
    for (int top = 0; top + ImageSize.height() <= argb.height(); top += ImageSize.height()) {
        for (int left = 0; left + ImageSize.width() <= argb.width(); left += ImageSize.width())
            images.append(QPixmap::fromImage(argb.copy(QRect(QPoint(left, top), ImageSize))));
    }
    return images;
}

bool LoadImageList(QList<QPixmap> &ImageList, const QString &ResourceName, QSize ImageSize)
{
    ImageList.clear();
    const QImage strip(ResourceName);
    if (strip.isNull())
        return false;
    ImageList = CutImageStrip(strip, ImageSize);
    return true;
}

void DrawFrame3D(
    QPainter &Canvas, QRect &Rect, const QColor &TopColor, int Width, const QColor &BottomColor)
{
    Canvas.save();
    Canvas.setRenderHint(QPainter::Antialiasing, false);
    Canvas.setBrush(Qt::NoBrush);
    for (int i = 0; i < Width; ++i) {
        if (Rect.width() <= 0 || Rect.height() <= 0) {
            Rect.adjust(1, 1, -1, -1);
            continue;
        }
        const int l = Rect.left(), t = Rect.top(), r = Rect.right(), b = Rect.bottom();
        // Top and left edges; the bottom-left and top-right corners go to the bottom colour.
        Canvas.setPen(QPen(TopColor, 0));
        Canvas.drawLine(l, t, qMax(l, r - 1), t);
        Canvas.drawLine(l, t, l, qMax(t, b - 1));
        Canvas.setPen(QPen(BottomColor, 0));
        Canvas.drawLine(r, t, r, b);
        Canvas.drawLine(l, b, r, b);
        Rect.adjust(1, 1, -1, -1);
    }
    Canvas.restore();
}

void CentreOverOwner(QWidget *Dialog, QWidget *Owner)
{
    if (!Dialog || !Owner)
        return;
    const QRect main = Owner->window()->geometry();
    // Integer division truncates toward zero, as the halves must.
    Dialog->move(main.left() + main.width() / 2 - Dialog->width() / 2,
                 main.top() + main.height() / 2 - Dialog->height() / 2);
}

TBusyCursor::TBusyCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

namespace {

class TRadioTabStop final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        auto *radio = qobject_cast<QRadioButton *>(watched);
        if (!radio || radio->isChecked()
            || (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason))
            return false;
        if (QRadioButton *checked = checkedPartner(radio))
            checked->setFocus(reason);
        return false;
    }

private:
    // The checked button of the radio's exclusive group, if any.
    static QRadioButton *checkedPartner(QRadioButton *radio)
    {
        if (QButtonGroup *group = radio->group()) {
            return group->exclusive() ? qobject_cast<QRadioButton *>(group->checkedButton())
                                      : nullptr;
        }
        if (!radio->autoExclusive() || !radio->parentWidget())
            return nullptr;
        const QList<QRadioButton *> siblings
            = radio->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
        for (QRadioButton *sibling : siblings) {
            if (sibling->isChecked() && sibling->autoExclusive() && !sibling->group())
                return sibling;
        }
        return nullptr;
    }
};

} // namespace

void TabToCheckedRadio(QWidget *Dialog)
{
    auto *stop = new TRadioTabStop(Dialog);
    for (QRadioButton *radio : Dialog->findChildren<QRadioButton *>())
        radio->installEventFilter(stop);
}
