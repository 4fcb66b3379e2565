#pragma once

#include <QDialog>

class FileListViews;

// Window "调整位置": moves the list's current record up or down in the
// manual order, one row per click.
class RepositionWindow : public QDialog {
    Q_OBJECT
public:
    explicit RepositionWindow(FileListViews& views, QWidget* parent = nullptr);

private:
    FileListViews& m_views;
};
