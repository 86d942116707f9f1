#include "desktop/FileDialog.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QLocale>
#include <QTreeView>

namespace desktop {

namespace {
// The columns of Qt's file list.
enum Column { kName, kSize, kKind, kModified };
}  // namespace

QString CItalianFileColumns::Kind(const QFileInfo& info) {
    if (info.isRoot()) {
        return QStringLiteral("Unit\u00E0");
    }
    if (info.isDir()) {
        return QStringLiteral("Cartella");
    }
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("File") : QStringLiteral("File ") + suffix.toUpper();
}

QVariant CItalianFileColumns::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole || !index.isValid() || index.column() == kName) {
        return QIdentityProxyModel::data(index, role);
    }
    const QFileInfo info = files->fileInfo(mapToSource(index));
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    switch (index.column()) {
        case kSize:
            return info.isDir()
                       ? QString()
                       : italian.formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat);
        case kKind:
            return Kind(info);
        case kModified:
            return italian.toString(info.lastModified(), QStringLiteral("dd/MM/yyyy HH:mm"));
        default:
            return QIdentityProxyModel::data(index, role);
    }
}

CFileDialog::CFileDialog(QWidget* owner, const QString& title) : QFileDialog(owner, title) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setProxyModel(new CItalianFileColumns(this));
    // Room for a long name beside a size, a kind and a whole date.
    resize(860, 480);
    if (auto* list = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(kName, QHeaderView::Stretch);
        for (int column : {kSize, kKind, kModified}) {
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
    }
}

}  // namespace desktop
