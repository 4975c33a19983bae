#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QComboBox;
class QLabel;
class QListWidget;
class QMimeData;
class QPushButton;

namespace folivo {

class ComboBox;
class DriveList;
class FolderTree;

/// The folder registration window: the user looks through the folders, registers the one
/// open in the tree, or deletes a registered one. It reports back to the main window only
/// through the main window's folder box, whose text it may change; the caller shows it
/// modally and looks at that text afterwards.
class Form_Dir : public QDialog {
    Q_OBJECT

public:
    /// Builds the window and runs Form_Load, which may show a message box.
    explicit Form_Dir(ComboBox& mainComboPath, QWidget* parent = nullptr);
    ~Form_Dir() override;

    /// Fills the registered list and opens the main window's folder in the tree, cutting
    /// that folder back to its nearest existing parent (after a message box) when it is gone.
    void Form_Load();
    void Drive_Change();
    void Dir_Change();
    /// Opens the first dropped entry in the tree, when it is a folder, and its drive.
    void Dir_OLEDragDrop(const QMimeData& dropped);
    /// 0 close, 1 register the folder open in the tree, 2 delete the folder named by this
    /// window's folder box; every button then closes the window. 1 and 2 write the settings
    /// file, which may show a message box and end the program.
    void Command_Click(int Index);

    DriveList* Drive() const { return m_drive; }
    FolderTree* Dir() const { return m_dir; }
    QListWidget* File() const { return m_file; }
    QComboBox* Combo_Path() const { return m_comboPath; }
    QLabel* Label1() const { return m_label1; }
    QPushButton* Command(int Index) const { return m_command.at(static_cast<size_t>(Index)); }

private:
    void buildControls();
    void openStartFolder();
    /// Opens a folder in the tree; returns the error number it failed with, or 0.
    int trySetDirPath(const QString& path);

    ComboBox& m_mainComboPath;
    DriveList* m_drive = nullptr;
    FolderTree* m_dir = nullptr;
    QListWidget* m_file = nullptr;
    QComboBox* m_comboPath = nullptr;
    QLabel* m_label1 = nullptr;
    std::array<QPushButton*, 3> m_command{};
};

} // namespace folivo
