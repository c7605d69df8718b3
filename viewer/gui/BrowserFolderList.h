// Dir1, the browser's folder tree list: the chain of folders from the root down to the current
// folder, each one step further indented, then the current folder's subfolders. Double-clicking a
// line (or Enter) makes that folder the current one.
#pragma once

#include <QListWidget>

#include <functional>
#include <string>

namespace veltrane {

class BrowserFolderList : public QListWidget {
    Q_OBJECT
public:
    explicit BrowserFolderList(QWidget* parent = nullptr);

    // The current folder, with a trailing "/".
    const std::string& Path() const { return m_path; }
    // Shows folder (with or without a trailing "/"). False, changing nothing, when it cannot be
    // listed. Emits PathChanged when the folder differs from the current one.
    bool SetPath(const std::string& folder);

    // Asked before a new folder is taken over; answering false keeps the current one (used while
    // a selection or save run is under way).
    std::function<bool()> MayChange;

signals:
    void PathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Open(QListWidgetItem* item);

    std::string m_path;
};

}  // namespace veltrane
