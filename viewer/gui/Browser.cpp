#include "gui/Browser.h"

#include "gui/QtGermanTexts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMoveEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace veltrane {
namespace {

// Form layouts are given in twips, 15 to the pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) { return twips / kTwipsPerPixel; }
QRect TwipRect(int left, int top, int width, int height) { return QRect(Px(left), Px(top), Px(width), Px(height)); }

const QColor kBackground(64, 64, 64);
const QColor kListGreen(0, 255, 0);

// "Small Fonts" 6.75 pt and "Arial" 9 pt as a 96-dpi screen shows them; where the families are
// missing, the substitutions below pick the nearest ones the system has.
QFont SmallFont(bool bold) {
    QFont font(QStringLiteral("Small Fonts"));
    font.setPixelSize(9);
    font.setBold(bold);
    return font;
}

QFont ListFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setBold(true);
    return font;
}

void InstallFontSubstitutes() {
    QFont::insertSubstitutions(QStringLiteral("Small Fonts"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                                         QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
}

void Colour(QWidget* w, const QColor& back, const QColor& text) {
    QPalette p = w->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button}) p.setColor(role, back);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(role, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// The window's icon: three stacked panes, the browser's column of live windows.
QIcon MakeIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(20, 20, 20));
    const QColor panes[] = {QColor(70, 200, 90), QColor(60, 120, 200), QColor(200, 170, 60)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(panes[i]);
        p.drawRect(3, 2 + 10 * i, 25, 8);
    }
    return QIcon(pixmap);
}

}  // namespace

Browser::Browser(ViewerCommands& commands, LiveWindowShared& shared, std::vector<QWidget*> liveWindows)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_commands(commands),
      m_shared(shared),
      m_liveWindows(std::move(liveWindows)) {
    InstallFontSubstitutes();
    setWindowTitle(QString::fromUtf8(kBrowserCaption));
    setWindowIcon(MakeIcon());
    setFixedSize(Px(5610), Px(4875));
    Colour(this, kBackground, Qt::white);

    Command1 = new QPushButton(QStringLiteral("Vorschau speichern"), this);
    Command1->setGeometry(TwipRect(60, 60, 2400, 255));
    Command1->setFont(SmallFont(true));
    cmdAlle = new QPushButton(QStringLiteral("Alle als Vorschau speichern"), this);
    cmdAlle->setGeometry(TwipRect(60, 360, 2415, 315));
    cmdAlle->setFont(SmallFont(true));

    Drive1 = new QComboBox(this);
    Drive1->setGeometry(TwipRect(60, 720, 2430, 285));
    Drive1->setFont(SmallFont(false));
    Colour(Drive1, Qt::black, Qt::white);
    Colour(Drive1->view(), Qt::black, Qt::white);
    m_drives = ListDrives();
    for (const Drive& d : m_drives) {
        Drive1->addItem(QString::fromStdString(d.mountPoint + "  [" + d.device + "]"));
        m_driveFolders.push_back(d.mountPoint);
    }

    Dir1 = new BrowserFolderList(this);
    Dir1->setGeometry(TwipRect(60, 1020, 2445, 3795));
    Dir1->setFont(SmallFont(false));
    Colour(Dir1, Qt::black, Qt::white);
    Dir1->MayChange = [this] { return !m_commands.Busy(); };

    List1 = new QListWidget(this);
    List1->setGeometry(TwipRect(2580, 60, 2970, 4785));
    List1->setFont(ListFont());
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSortingEnabled(false);
    // Long names are cut at the edge, as in a plain list box, rather than scrolled sideways.
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Dir1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Colour(List1, Qt::black, kListGreen);

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, List1);
    setTabOrder(List1, Command1);
    setTabOrder(Command1, cmdAlle);

    mnuPop = new QMenu(QStringLiteral("Popup"), this);
    mnuAuto = mnuPop->addAction(QStringLiteral("Vorschau automatisch speichern"));
    mnuAuto->setCheckable(true);
    mnuFm = mnuPop->addMenu(QStringLiteral("Format"));
    mnuJPG = mnuFm->addAction(QStringLiteral("JPG"));
    mnuJPG->setCheckable(true);
    mnuBMP = mnuFm->addAction(QStringLiteral("BMP"));
    mnuBMP->setCheckable(true);
    SyncChecks();
    connect(mnuAuto, &QAction::triggered, this, [this] {
        m_commands.Checks.mnuAuto_Click();
        SyncChecks();
    });
    connect(mnuJPG, &QAction::triggered, this, [this] {
        m_commands.Checks.mnuJPG_Click();
        SyncChecks();
    });
    connect(mnuBMP, &QAction::triggered, this, [this] {
        m_commands.Checks.mnuBMP_Click();
        SyncChecks();
    });

    // Right clicks on the background, the folder tree and the skin list open the popup menu.
    for (QWidget* w : {static_cast<QWidget*>(Command1), static_cast<QWidget*>(cmdAlle), static_cast<QWidget*>(Drive1)})
        w->setContextMenuPolicy(Qt::PreventContextMenu);
    for (QWidget* w : {static_cast<QWidget*>(Dir1), static_cast<QWidget*>(List1)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(static_cast<QAbstractScrollArea*>(w), &QWidget::customContextMenuRequested, this,
                [this] { ShowPopupMenu(); });
    }

    connect(Drive1, &QComboBox::activated, this, &Browser::Drive1_Change);
    connect(Dir1, &BrowserFolderList::PathChanged, this, &Browser::Dir1_Change);
    connect(List1, &QListWidget::currentRowChanged, this, [this] { List1_Click(); });
    connect(Command1, &QPushButton::clicked, this, &Browser::Command1_Click);
    connect(cmdAlle, &QPushButton::clicked, this, &Browser::cmdAlle_Click);

    // The tick only moves windows that are out of place; every 15 ms keeps the column attached
    // while the browser is dragged without spinning the processor at a 1 ms rate.
    Timer1 = new QTimer(this);
    Timer1->setInterval(15);
    connect(Timer1, &QTimer::timeout, this, &Browser::Timer1_Timer);
    Timer1->start();
}

void Browser::Form_Load(const ProgramValues& values) {
    SetDrive(values.AppFolder);
    SetFolder(values.AppFolder);
    // The right edge on the screen's vertical centre line, where the live windows dock.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        const QSize outer = frameGeometry().size();
        move(s.x() + s.width() / 2 - outer.width(),
             s.y() + int(std::nearbyint(s.height() / 2.0 - outer.height() / 1.85)));
    }
    show();
    for (QWidget* w : m_liveWindows) w->show();
    Timer1_Timer();
}

bool Browser::SetDrive(const std::string& folder) {
    const int index = DriveOf(m_drives, folder);
    if (index < 0) return false;
    m_driveIndex = index;
    Drive1->setCurrentIndex(index);
    return true;
}

bool Browser::SetFolder(const std::string& folder) {
    if (!Dir1->SetPath(folder)) return false;
    const int drive = DriveOf(m_drives, Dir1->Path());
    if (drive >= 0) {
        m_driveFolders[size_t(drive)] = Dir1->Path();
        if (drive != m_driveIndex) SetDrive(Dir1->Path());
    }
    return true;
}

void Browser::Drive1_Change(int index) {
    // A drive that cannot be read (or a change during a run) keeps the previous drive and folder.
    if (index < 0 || size_t(index) >= m_drives.size() || m_commands.Busy() ||
        !SetFolder(m_driveFolders[size_t(index)])) {
        Drive1->setCurrentIndex(m_driveIndex);
        return;
    }
    m_driveIndex = index;
}

void Browser::Dir1_Change() {
    auto entries = BuildSkinList(Dir1->Path());
    if (!entries) return;
    List1->blockSignals(true);
    List1->clear();
    for (const std::string& e : *entries) List1->addItem(QString::fromStdString(e));
    List1->setCurrentRow(-1);
    List1->clearSelection();
    List1->blockSignals(false);
}

void Browser::ShowEntry(const std::string& entry) {
    const QString text = QString::fromStdString(entry);
    QList<QListWidgetItem*> found = List1->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QListWidgetItem* item = found.isEmpty() ? new QListWidgetItem(text, List1) : found.first();
    List1->setCurrentItem(item);  // runs List1_Click
    List1->scrollToItem(item);
}

std::vector<std::string> Browser::SkinEntries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < List1->count(); ++i) entries.push_back(List1->item(i)->text().toStdString());
    return entries;
}

void Browser::SelectRowQuietly(int row) {
    List1->blockSignals(true);
    List1->setCurrentRow(row);
    List1->blockSignals(false);
}

void Browser::List1_Click() {
    const int row = List1->currentRow();
    if (row < 0) return;
    if (m_commands.Busy()) {
        SelectRowQuietly(m_runningRow);
        return;
    }
    m_runningRow = row;
    m_commands.List1_Click(Dir1->Path(), List1->item(row)->text().toStdString());
}

void Browser::Command1_Click() { m_commands.Command1_Click(); }

bool Browser::AskSaveAll() {
    if (ConfirmSaveAll) return ConfirmSaveAll();
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                    QStringLiteral("Wirklich alle Skins als Vorschau speichern ?"), QMessageBox::Yes | QMessageBox::No,
                    this);
    // Without Qt's German texts (a build without its translations) the two buttons still read German.
    if (!GermanQtTextsInstalled()) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    }
    return box.exec() == QMessageBox::Yes;
}

void Browser::cmdAlle_Click() {
    m_commands.cmdAlle_Click(
        Dir1->Path(), SkinEntries(), [this] { return AskSaveAll(); },
        [this](size_t i) {
            m_runningRow = int(i);
            SelectRowQuietly(int(i));
        });
}

void Browser::SyncChecks() {
    mnuAuto->setChecked(m_commands.Checks.Auto);
    mnuJPG->setChecked(m_commands.Checks.JPG);
    mnuBMP->setChecked(m_commands.Checks.BMP);
}

void Browser::ShowPopupMenu() { mnuPop->exec(QCursor::pos()); }

void Browser::contextMenuEvent(QContextMenuEvent*) { ShowPopupMenu(); }

void Browser::Timer1_Timer() {
    if (m_shared.WindowDragging != 0 || m_liveWindows.empty()) return;
    const QRect browser = frameGeometry();
    QPoint at(browser.x() + browser.width(), browser.y());
    for (QWidget* w : m_liveWindows) {
        if (w->pos() != at) w->move(at);
        at.ry() += w->frameGeometry().height();
    }
}

void Browser::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    Timer1_Timer();
}

void Browser::closeEvent(QCloseEvent* event) {
    // Closing the browser ends the program; a run under way stops after the skin it is showing,
    // whose unpacked files it still removes.
    m_commands.RequestStop();
    for (QWidget* w : m_liveWindows) w->hide();
    Timer1->stop();
    event->accept();
    QCoreApplication::quit();
}

}  // namespace veltrane
