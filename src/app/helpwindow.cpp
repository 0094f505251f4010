#include "app/helpwindow.h"

#include "platform/regularfile.h"
#include "preview/markdownpreviewview.h"
#include "storage/settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QShortcut>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace {

// What the window manager adds above the window, which Qt learns only once it is shown.
constexpr int titleBarAllowance = 48;

std::optional<QString> readNonEmptyUtf8(const QString &path)
{
    const RegularFileRead file = RegularFile::read(path);
    if (!file.ok())
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(file.bytes);
    if (decoder.hasError() || text.trimmed().isEmpty())
        return std::nullopt;
    return text;
}

// A developer running a fresh build sees the help as it stands in the source tree.
std::optional<QString> developmentCopy()
{
    QDir dir(QCoreApplication::applicationDirPath());
    for (int level = 0; level < 6; ++level) {
        const QString candidate = dir.filePath(QStringLiteral("resources/help/detail.md"));
        if (QFile::exists(candidate))
            return readNonEmptyUtf8(candidate);
        if (!dir.cdUp())
            break;
    }
    return std::nullopt;
}

} // namespace

HelpWindowController::~HelpWindowController()
{
    delete m_window;
}

QString HelpWindowController::installedHelpPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                           QStringLiteral(QUILLMERE_INSTALLED_HELP));
}

QString HelpWindowController::helpText(const QString &resourcePath, const QString &installedPath)
{
    if (const auto text = readNonEmptyUtf8(resourcePath))
        return *text;
    if (const auto text = readNonEmptyUtf8(installedPath))
        return *text;
    if (const auto text = developmentCopy())
        return *text;
    return fallbackText;
}

QRect HelpWindowController::windowGeometry(const QRect &available)
{
    const QSize size =
        QSize(720, 640).boundedTo(QSize(available.width(), available.height() - titleBarAllowance));
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(available.center());
    frame.moveTop(qMax(frame.top(), available.top() + titleBarAllowance));
    return frame;
}

void HelpWindowController::showHelp()
{
    if (!m_window) {
        m_window = new QWidget(nullptr, Qt::Window);
        m_window->setWindowTitle(windowTitle);
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        // On the main window's screen, and whole on it however small it is.
        const auto *owner = qobject_cast<QWidget *>(parent());
        const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        const QRect frame =
            windowGeometry(screen ? screen->availableGeometry() : QRect(0, 0, 720, 688));
        m_window->setMinimumSize(QSize(480, 360).boundedTo(frame.size()));
        m_window->setGeometry(frame);
        auto *view = new MarkdownPreviewView(m_window);
        view->setAccessibleName(windowTitle);
        view->setFontSize(Settings::instance().editorFontSize());
        view->setMarkdownText(helpText());
        connect(&Settings::instance(), &Settings::editorFontSizeChanged, view,
                &MarkdownPreviewView::setFontSize);
        auto *layout = new QVBoxLayout(m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        // A reading window goes as other small windows do; the main window's own keys stay
        // with the main window.
        for (const QKeySequence &keys :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            auto *close = new QShortcut(keys, m_window);
            connect(close, &QShortcut::activated, m_window, &QWidget::close);
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
