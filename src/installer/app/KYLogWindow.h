#pragma once

#include "shared/StringTable.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QLineEdit;
class QWidgetAction;

namespace Ui {
class KYLogWindow;
}

namespace tavoren::installer {

// The log window: the installer's lines and the captured system install log,
// filtered by a search text, saved whole where the user chooses (Ctrl+S).
// A dialog for assistive tools and Escape, in a window of its own.
class KYLogWindow final : public QDialog
{
    Q_OBJECT

public:
    // The save panel: the chosen file name, empty when the user cancels.
    using SavePanel = std::function<QString(QWidget *parent, const QString &title, const QString &suggestedName)>;

    // A window of its own, owned by `window`.
    explicit KYLogWindow(QWidget *window);
    ~KYLogWindow() override;

    Ui::KYLogWindow &ui() { return *m_ui; }
    QLineEdit *searchField() const { return m_searchField; }
    void localize(const shared::StringTable &strings);

    // The text to show and save: shown whole, searchable.
    void showLog(const QString &logFileData);
    // The text to save, while the view says the capture is missing.
    void showCaptureMissing(const QString &logFileData, const QString &message);
    // Brought to the front unless it shows already.
    void present();
    void filterLog(QLineEdit *searchField);
    void showLogFileSavePanel();

    void setSavePanel(SavePanel panel) { m_savePanel = std::move(panel); }
    // The last failed save's message to the user, empty when none.
    QString lastSaveError() const { return m_lastSaveError; }
    QString logFileData() const { return m_logFileData; }
    QStringList allLinesOfLogFileData() const { return m_allLinesOfLogFileData; }

private:
    std::unique_ptr<Ui::KYLogWindow> m_ui;
    QLineEdit *m_searchField = nullptr;
    QWidgetAction *m_searchItem = nullptr;
    QString m_saveFailedFormat;
    QString m_title;
    QString m_logFileData;
    QStringList m_allLinesOfLogFileData;
    QString m_lastSaveError;
    SavePanel m_savePanel;
};

} // namespace tavoren::installer
