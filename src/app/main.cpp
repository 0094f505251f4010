#include "app/simplewindow.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/viewcounts.h"

#include <QApplication>
#include <QFileDialog>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));

    MemoManager memo;
    FolderManager folders;
    folders.setFolderChooser([]() -> std::optional<QString> {
        QFileDialog dialog(nullptr, QStringLiteral("フォルダを開く"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    });

    SimpleWindow window(memo, folders);
    window.show();
    const int status = QApplication::exec();
    memo.save();
    ViewCounts::flushPendingWrites();
    return status;
}
