// The program's file dialog: Qt's own, everything in it said in Italian whatever the system's locale,
// and wide enough that its column headings and dates are read whole.
#pragma once

#include <QFileDialog>
#include <QIdentityProxyModel>

namespace desktop {

// The columns of the file list as an Italian clerk reads them: sizes ("4,8 MB"), kinds ("Cartella",
// "File MDB") and dates ("08/12/26 16:04") in Italian, where Qt's own list follows the system's
// locale and leaves some kinds in English.
class CItalianFileColumns : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;

    static QString Kind(const QFileInfo& info);
};

class CFileDialog : public QFileDialog {
  public:
    CFileDialog(QWidget* owner, const QString& title);
};

}  // namespace desktop
