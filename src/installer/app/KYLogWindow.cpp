#include "installer/app/KYLogWindow.h"

#include "installer/core/InstallerLog.h"
#include "shared/StringTable.h"
#include "installer/core/KYInstaller.h"
#include "ui_KYLogWindow.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMessageBox>
#include <QSaveFile>
#include <QToolBar>
#include <QWidgetAction>

namespace tavoren::installer {

KYLogWindow::KYLogWindow(QWidget *window)
    : QDialog(window, Qt::Window)
    , m_ui(std::make_unique<Ui::KYLogWindow>())
    , m_savePanel([](QWidget *over, const QString &title, const QString &suggestedName) {
        return QFileDialog::getSaveFileName(over, title, suggestedName);
    })
{
    m_ui->setupUi(this);
    hide();
    // Read with the arrow keys too, not only the mouse.
    m_ui->logTextView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_searchField = new QLineEdit(this);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setMinimumWidth(220);
    m_searchItem = new QWidgetAction(this);
    m_searchItem->setObjectName(QStringLiteral("searchItem"));
    m_searchItem->setDefaultWidget(m_searchField);
    connect(m_searchField, &QLineEdit::textChanged, this, [this] { filterLog(m_searchField); });
    connect(m_ui->saveButtonItem, &QAction::triggered, this, [this] { showLogFileSavePanel(); });
    // Ctrl+S wherever the focus is in this window, toolbar shown or not.
    m_ui->saveButtonItem->setShortcut(QKeySequence::Save);
    m_ui->saveButtonItem->setShortcutContext(Qt::WindowShortcut);
    addAction(m_ui->saveButtonItem);
    // The placeholder's default half-transparent grey reads too faintly:
    // this one keeps 4.5:1 on the field's white.
    QPalette palette = m_searchField->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(0x59, 0x59, 0x59));
    m_searchField->setPalette(palette);
}

KYLogWindow::~KYLogWindow() = default;

void KYLogWindow::localize(const shared::StringTable &strings)
{
    m_title = strings.lookup(QStringLiteral("InstallerLog"));
    setWindowTitle(m_title);
    m_ui->saveButtonItem->setText(strings.lookup(QStringLiteral("SaveLog")));
    m_searchField->setPlaceholderText(strings.lookup(QStringLiteral("SearchLog")));
    // The placeholder goes once the user types; the name stays.
    m_searchField->setAccessibleName(m_searchField->placeholderText());
    m_ui->logTextView->setAccessibleName(m_title);
    setAccessibleName(m_title);
    m_saveFailedFormat = strings.lookup(QStringLiteral("SaveLogFailed"));
}

void KYLogWindow::showCaptureMissing(const QString &logFileData, const QString &message)
{
    m_logFileData = logFileData;
    m_ui->logTextView->setPlainText(message);
}

void KYLogWindow::showLog(const QString &logFileData)
{
    m_logFileData = logFileData;
    m_ui->logTextView->setPlainText(m_logFileData);
    m_allLinesOfLogFileData = m_logFileData.split(QLatin1Char('\n'));
    if (QFontDatabase::families().contains(QStringLiteral("Arial")))
        m_ui->logTextView->setFont(QFont(QStringLiteral("Arial"), 12));
    QToolBar *toolBar = m_ui->logToolBar;
    const QList<QAction *> existing = toolBar->actions();
    if (!existing.contains(m_searchItem)) {
        toolBar->insertAction(existing.value(1), m_searchItem);
        toolBar->insertAction(toolBar->actions().value(2), m_ui->saveButtonItem);
        // A toolbar keeps its buttons out of the Tab order; Save belongs in it.
        if (QWidget *save = toolBar->widgetForAction(m_ui->saveButtonItem)) {
            save->setFocusPolicy(Qt::StrongFocus);
            save->setAccessibleName(m_ui->saveButtonItem->text().remove(QChar(0x2026)));
            // Search, Save, then the text.
            QWidget::setTabOrder(m_searchField, save);
            QWidget::setTabOrder(save, m_ui->logTextView);
        }
    }
}

void KYLogWindow::present()
{
    if (isVisible())
        return;
    show();
    raise();
    activateWindow();
}

void KYLogWindow::filterLog(QLineEdit *searchField)
{
    m_ui->logTextView->setPlainText(InstallerLog::filterLog(m_logFileData, m_allLinesOfLogFileData, searchField->text()));
}

void KYLogWindow::showLogFileSavePanel()
{
    const QString name = m_savePanel(this, m_ui->saveButtonItem->text(), QStringLiteral("CorvaneTavorenInstaller.log"));
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    const QByteArray bytes = m_logFileData.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        m_lastSaveError.clear();
        return;
    }
    m_lastSaveError = KYInstaller::formatted(m_saveFailedFormat, {name, file.errorString()});
    auto *box = new QMessageBox(QMessageBox::Warning, m_title, m_lastSaveError, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

} // namespace tavoren::installer
