#include "archive/ui/GroupCopyWindow.h"

#include <QCloseEvent>

GroupCopyWindow::GroupCopyWindow(AppContext& context, DataStore& store, const QString& sourcePath, QWidget* parent)
    : QDialog(parent), m_context(context), m_store(store), m_source(sourcePath)
{
}

void GroupCopyWindow::setTarget(const QString&) {}
QString GroupCopyWindow::target() const { return {}; }
void GroupCopyWindow::closeEvent(QCloseEvent* e) { QDialog::closeEvent(e); }
void GroupCopyWindow::reject() { QDialog::reject(); }
void GroupCopyWindow::chooseTarget() {}
void GroupCopyWindow::start() {}
void GroupCopyWindow::setRange(qint64, qint64) {}
void GroupCopyWindow::setValue(qint64) {}
bool GroupCopyWindow::cancelled() const { return m_cancel; }
