#include "ui/QtPrompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

namespace kx4 {

namespace {

QMessageBox::Icon iconOf(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::mtError:
            return QMessageBox::Critical;
        case TMsgDlgType::mtInformation:
            return QMessageBox::Information;
        case TMsgDlgType::mtConfirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSpec {
    TMsgDlgBtn button;
    const char* text;
    QMessageBox::ButtonRole role;
    TModalResult result;
};

constexpr ButtonSpec kButtons[] = {
    {mbYes, "&Ja", QMessageBox::YesRole, mrYes},
    {mbNo, "&Nein", QMessageBox::NoRole, mrNo},
    {mbOK, "OK", QMessageBox::AcceptRole, mrOk},
    {mbCancel, "Abbrechen", QMessageBox::RejectRole, mrCancel},
};

QWidget* dialogParent() { return QApplication::activeWindow(); }

// Messages break their lines with a carriage return (character 13), which a Qt label does not
// treat as a line break.
QString withLineFeeds(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

}  // namespace

int QtPrompts::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    QMessageBox box(iconOf(type), messageCaption(type), withLineFeeds(text), QMessageBox::NoButton,
                    dialogParent());
    std::vector<std::pair<QAbstractButton*, TModalResult>> results;
    for (const ButtonSpec& entry : kButtons) {
        if (buttons & entry.button) {
            results.emplace_back(box.addButton(QString::fromUtf8(entry.text), entry.role),
                                 entry.result);
        }
    }
    if (results.empty()) results.emplace_back(box.addButton("OK", QMessageBox::AcceptRole), mrOk);
    // Escape and the window frame give Cancel, or No when there is no Cancel button.
    for (auto preferred : {mrCancel, mrNo, mrOk}) {
        auto it = std::find_if(results.begin(), results.end(),
                               [&](const auto& entry) { return entry.second == preferred; });
        if (it != results.end()) {
            box.setEscapeButton(it->first);
            break;
        }
    }
    box.exec();
    for (const auto& [button, result] : results) {
        if (box.clickedButton() == button) return result;
    }
    return (buttons & mbCancel) ? mrCancel : mrNone;
}

bool QtPrompts::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText("OK");
    dialog.setCancelButtonText("Abbrechen");
    // A value such as a file path is shown whole, as far as the screen allows.
    constexpr int kEditMargins = 80;
    const int wanted = dialog.fontMetrics().horizontalAdvance(value) + kEditMargins;
    const QScreen* screen = dialog.screen();
    const int limit = screen ? screen->availableGeometry().width() * 9 / 10 : wanted;
    dialog.resize(std::max(dialog.sizeHint().width(), std::min(wanted, limit)),
                  dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) return false;
    value = dialog.textValue();
    return true;
}

void QtPrompts::ShowErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::NoButton,
                    dialogParent());
    box.setEscapeButton(box.addButton("OK", QMessageBox::AcceptRole));
    box.exec();
}

std::optional<QString> QtPrompts::AskTablePassword(const QString& tableFile,
                                                   bool previousWasWrong) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(QStringLiteral("Passwort"));
    const QString hint =
        previousWasWrong ? QStringLiteral("Das Passwort passt nicht.\n") : QString();
    dialog.setLabelText(hint + QStringLiteral("Passwort für Tabelle %1:").arg(tableFile));
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText("OK");
    dialog.setCancelButtonText("Abbrechen");
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

}  // namespace kx4
