#pragma once

#include <QList>
#include <QString>

class CommandRouter;
class MainWindow;

// Every command of the main window in one place: its id, the right it needs
// and what carries it out. The panes offer plain slots and know no command
// ids; the table hands them what they act on (the list's selection, the
// tree's group).
namespace CommandTable {

struct Entry {
    const char* id;
    QString right;               // empty: no right needed
    void (*run)(MainWindow& w);  // nullptr: not built yet (the command does nothing)
};

// All commands, in menu order.
const QList<Entry>& entries();
// The right a command needs; empty when none (or unknown).
QString rightOf(const QString& id);
// Adds every command to the router, carried out on this window.
void wire(CommandRouter& router, MainWindow& window);

}  // namespace CommandTable
