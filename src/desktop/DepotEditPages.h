// The three pages of the structure editor. Each shows the editor's working values in its controls and
// reads them back; the controls carry the census's numbers for them as object names.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QValidator>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "census/Structure.h"
#include "ui/Port.h"

namespace desktop {

// Keeps out of an edit every character Windows-1252 cannot hold: such characters are removed as they
// are typed or pasted, with a beep, and the rest of the text is kept.
class CCp1252Validator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Keeps a number's edit to digits: a key or a paste that brings anything else ("1.500", "01O") is
// refused, with a beep, and the text stays as it was.
class CDigitsValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

class CDepotPage : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    // Values to controls.
    virtual void ShowPage(const census::Structure& values) = 0;
    // Controls to values: only the values this page shows are changed.
    virtual void SavePage(census::Structure& values) const = 0;
};

// "Ubicazione": address, place, municipality, province and the activities carried out.
class CLocationPage : public CDepotPage {
    Q_OBJECT
  public:
    CLocationPage(const std::vector<std::string>& municipalityEntries, QWidget* parent);
    void ShowPage(const census::Structure& values) override;
    void SavePage(census::Structure& values) const override;

  private:
    QLineEdit* ubicaz_;
    QLineEdit* local_;
    QComboBox* comune_;
    QComboBox* provin_;
    std::array<QCheckBox*, 7> flags_{};
};

// "Proprietà": owner, surface and title of the open areas and of the covered surfaces.
class COwnershipPage : public CDepotPage {
    Q_OBJECT
  public:
    explicit COwnershipPage(QWidget* parent);
    void ShowPage(const census::Structure& values) override;
    void SavePage(census::Structure& values) const override;

  private:
    // Index 0: the open areas (sco), 1: the covered surfaces (cop).
    std::array<QLineEdit*, 2> owner_{};
    std::array<QLineEdit*, 2> surface_{};
    std::array<QComboBox*, 2> title_{};
};

// "Dotazione Mezzi": the vehicles in service and in reserve, by service and by class.
class CFleetPage : public CDepotPage {
    Q_OBJECT
  public:
    explicit CFleetPage(QWidget* parent);
    void ShowPage(const census::Structure& values) override;
    void SavePage(census::Structure& values) const override;

  private:
    std::array<QLineEdit*, census::kCountCount> counts_{};  // in the order of census::Structure::counts
};

}  // namespace desktop
