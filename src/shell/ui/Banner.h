#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class ToolbarLabel;
struct MainSettings;

// The banner "图片框1" across the top of the main window: its background
// (the saved colour or picture, or the design picture), the banner text
// "透明标签1" and the nine toolbar labels.
class Banner : public QWidget {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 1024;
    static constexpr int Height = 56;
    static QString designText();
    // The built-in banner picture (plain blue, 1024 × 56).
    static QPixmap designPicture();

    explicit Banner(QWidget* parent = nullptr);

    // Text, background colour or picture as the main-window settings say.
    void apply(const MainSettings& settings);
    void setText(const QString& text);
    QString text() const;
    // What the background shows now.
    enum class Background { Design, Colour, Picture };
    Background background() const { return m_background; }
    QColor colour() const { return m_colour; }

    QList<ToolbarLabel*> toolbarLabels() const { return m_labels; }
    // The banner text label; it shows text() elided with "…" when the
    // toolbar leaves it less room than the whole text needs.
    QLabel* textLabel() const { return m_text; }

signals:
    // A toolbar label was clicked.
    void commandRequested(const QString& command, const QPoint& globalPos);
    // Right click on the banner or its text: the main window opens menu "界面".
    void menuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void placeLabels();
    void fitText();

    QLabel* m_text = nullptr;
    QString m_fullText;
    QList<ToolbarLabel*> m_labels;
    QList<int> m_designLefts;
    Background m_background = Background::Design;
    QColor m_colour;
    QPixmap m_picture;
};
