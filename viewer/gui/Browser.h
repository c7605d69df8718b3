// The skin browser window "Harrowby Veltrane": a drive list, a folder tree and the skin list of the
// chosen folder, two save buttons, and the popup menu with the automatic-saving switch and the
// preview format. A timer keeps the three live windows docked in a column at its right edge.
#pragma once

#include "gui/BrowserFolderList.h"
#include "app/Commands.h"
#include "app/SkinList.h"
#include "windows/LiveWindowController.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace veltrane {

class Browser : public QWidget {
    Q_OBJECT
public:
    // The three live windows, in their docking order: main, equalizer, playlist.
    Browser(ViewerCommands& commands, LiveWindowShared& shared, std::vector<QWidget*> liveWindows);

    // Form_Load: the drive and folder of the program, the placement, showing the windows.
    void Form_Load(const ProgramValues& values);
    // Points Drive1 at the volume of folder; false when there is none.
    bool SetDrive(const std::string& folder);
    // Points Dir1 at folder; false, changing nothing, when it cannot be listed.
    bool SetFolder(const std::string& folder);
    // Rebuilds the skin list for Dir1's folder; keeps the old list when the folder cannot be listed.
    void Dir1_Change();
    // Selects entry in the skin list and shows it as a click would; an entry the list does not
    // show (a ".zip" archive) is appended to it first.
    void ShowEntry(const std::string& entry);
    // The docking tick.
    void Timer1_Timer();
    // Shows the popup menu at the mouse position.
    void ShowPopupMenu();

    // Asked by cmdAlle before a save run; shows the Yes/No box unless replaced (tests do).
    std::function<bool()> ConfirmSaveAll;

    // The controls, named as in the form.
    QPushButton* Command1;
    QPushButton* cmdAlle;
    QComboBox* Drive1;
    BrowserFolderList* Dir1;
    QListWidget* List1;
    QMenu* mnuPop;
    QAction* mnuAuto;
    QMenu* mnuFm;
    QAction* mnuJPG;
    QAction* mnuBMP;
    QTimer* Timer1;

    std::vector<std::string> SkinEntries() const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Drive1_Change(int index);
    void List1_Click();
    void Command1_Click();
    void cmdAlle_Click();
    void SelectRowQuietly(int row);
    void SyncChecks();
    bool AskSaveAll();

    ViewerCommands& m_commands;
    LiveWindowShared& m_shared;
    std::vector<QWidget*> m_liveWindows;
    std::vector<Drive> m_drives;
    std::vector<std::string> m_driveFolders;  // the folder last shown on each drive
    int m_driveIndex = -1;
    int m_runningRow = -1;  // the entry a run is showing; the list returns to it when refused
};

}  // namespace veltrane
