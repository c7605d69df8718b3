#include "gui/BrowserFolderList.h"

#include "app/SkinList.h"

#include <QKeyEvent>
#include <QStyle>

namespace veltrane {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kIndentPerLevel = 2;  // blanks per tree level

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

BrowserFolderList::BrowserFolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(12, 12));  // small folder glyphs that suit the small font
    connect(this, &QListWidget::itemDoubleClicked, this, &BrowserFolderList::Open);
}

bool BrowserFolderList::SetPath(const std::string& folder) {
    const std::string path = WithSlash(folder);
    const auto subfolders = ListSubfolders(path);
    if (!subfolders) return false;
    const bool changed = path != m_path;
    m_path = path;

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // The chain: "/" and then every component of the path.
    int level = 0;
    std::string chain = "/";
    auto addLine = [&](const std::string& full, const std::string& label, const QIcon& icon, int depth) {
        auto* item = new QListWidgetItem(icon, QString(depth * kIndentPerLevel, ' ') + QString::fromStdString(label));
        item->setData(kPathRole, QString::fromStdString(full));
        addItem(item);
        return item;
    };
    QListWidgetItem* current = addLine("/", "/", open, level);
    size_t start = 1;
    while (start < path.size()) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash - start);
        chain += part + "/";
        current = addLine(chain, part, open, ++level);
        start = slash + 1;
    }
    for (const std::string& name : *subfolders) addLine(path + name + "/", name, closed, level + 1);
    setCurrentItem(current);
    if (changed) emit PathChanged();
    return true;
}

void BrowserFolderList::Open(QListWidgetItem* item) {
    if (!item) return;
    if (MayChange && !MayChange()) return;
    SetPath(item->data(kPathRole).toString().toStdString());
}

void BrowserFolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace veltrane
