#pragma once

#include "settings/ArchiveCare.h"
#include "store/CurrentOperator.h"
#include "store/MainSettings.h"

#include <QDialog>
#include <functional>

class DataStore;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The window "全局参数" (589 × 468): the main window's look and the view
// count flag ("个性设置"), the upload rules ("文件类型"), the care of the
// archive ("数据维护", its title with what the archive's content takes,
// versions counted), the buttons to other windows ("其他设置") and below
// them the space the quarantine and the kept Data-<date> folders take, with
// the button that removes them after a question (ArchiveWaste).
// Units read zcbj and zdbh when the window opens.
class GlobalSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // What the window needs of the window that holds the archive's
    // connection, around a restore and a rebuild.
    struct ArchiveHooks {
        std::function<void()> close;  // every connection closed (the locks stay)
        // Opened again; false when that failed. A lock given is the lock of
        // the archive now in use, held from then on instead of the old ones.
        std::function<bool(std::shared_ptr<InstanceLock>)> reopen;
        std::function<void()> reload;  // tree, list and edit panel read again
    };

    static inline const QString PictureFilter = QStringLiteral("图片文件(*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif");
    static inline const QString ClearQuestion = QStringLiteral("确定清零文件阅览次数吗?");
    static inline const QString RebuildQuestion =
        QStringLiteral("重建数据库将清空当前数据, 恢复至系统初始状态! 是否继续?");
    static inline const QString ReopenFailed = QStringLiteral("数据库打开失败!");
    static inline const QString SizeHint = QStringLiteral("限制入库文件尺寸，建议不大于10M");

    GlobalSettingsWindow(DataStore& store, ArchivePlace place, ArchiveHooks hooks, QWidget* parent = nullptr);

    // The operator whose log line a removal of the old data writes.
    void setOperator(const CurrentOperator& op) { m_operator = op; }
    // The width of the main window's banner, which `分辨率标签` shows.
    void setBannerWidth(int width)
    {
        m_bannerWidth = width;
        showPicture();
    }

    // The picture kept for the save (empty: the built-in banner).
    QByteArray picture() const { return m_picture; }
    QColor colour() const;
    void setColour(const QColor& colour);

public slots:
    void choosePicture();
    void useDefaultPicture();
    void chooseColour();
    void savePersonal();
    void saveUploadRules();
    void clearViewCounts();
    void backupArchive();
    void restoreArchive();
    void rebuildArchive();
    void compactArchive();
    // Asks, then removes the quarantine and the kept Data-<date> folders.
    void removeWaste();
    void saveOcr(bool on);
    // "回收站保留天数": days a deleted record stays in the trash (0: until emptied).
    void saveTrashDays(int days);

signals:
    // Saved and to be applied at once.
    void personalSaved(const MainSettings& settings);
    void uploadRulesSaved(const QString& types, const QString& size);
    // The buttons of "其他设置".
    void fieldOptionsRequested();
    void operatorsRequested();
    void changePasswordRequested();
    void logRequested();
    void sortOrderRequested();

private:
    void build();
    void load();
    void showPicture();
    // The space the quarantine and the kept Data-<date> folders take.
    void showWaste();

    DataStore& m_store;
    ArchivePlace m_place;
    ArchiveHooks m_hooks;
    MainSettings m_settings;
    QByteArray m_picture;
    QColor m_colour;

    QRadioButton* m_colourRadio = nullptr;
    QRadioButton* m_pictureRadio = nullptr;
    QPushButton* m_colourPicker = nullptr;
    QLineEdit* m_text = nullptr;
    QLabel* m_resolution = nullptr;
    int m_bannerWidth = 0;
    QLabel* m_preview = nullptr;
    QRadioButton* m_mode1 = nullptr;
    QRadioButton* m_mode2 = nullptr;
    QCheckBox* m_noCount = nullptr;
    QRadioButton* m_unlimited = nullptr;
    QRadioButton* m_limited = nullptr;
    QPlainTextEdit* m_types = nullptr;
    QLineEdit* m_size = nullptr;
    QCheckBox* m_ocr = nullptr;
    QSpinBox* m_trashDays = nullptr;
    QGroupBox* m_maintenance = nullptr;
    QLabel* m_waste = nullptr;
    QPushButton* m_removeWaste = nullptr;
    CurrentOperator m_operator;
};
