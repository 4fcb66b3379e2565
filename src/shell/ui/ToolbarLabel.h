#pragma once

#include <QLabel>

// One transparent label of the banner's toolbar: white text, hand pointer,
// a hint, and its command when the left button is released over it.
class ToolbarLabel : public QLabel {
    Q_OBJECT
public:
    ToolbarLabel(const QString& name, const QString& caption, const QString& hint, const QString& command,
                 QWidget* parent = nullptr);

    QString command() const { return m_command; }

signals:
    // Left button pressed and released over the label; globalPos is where.
    void activated(const QString& command, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_command;
};
