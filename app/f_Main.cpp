#include "app/f_Main.h"

#include "app/accelerators.h"
#include "app/app_title.h"
#include "app/command_list.h"
#include "app/error_box.h"
#include "app/image_list.h"
#include "app/list_view.h"
#include "app/splitter_bar.h"
#include "app/u_Settings.h"
#include "app/ui_seam.h"
#include "compare/lost_connection.h"
#include "compare/schema_comparison.h"
#include "compare/u_Tracker.h"
#include "schema/schema_reader.h"
#include "schema/u_Database.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <vector>

namespace korvista {

TfrmMain* frmMain = nullptr;

namespace {

constexpr int ClientWidth = 714;
constexpr int ClientHeight = 547;
constexpr int ToolbarHeight = 46;
constexpr int SwitchPanelHeight = 24;
constexpr int StatusBarHeight = 21;
// Distances inside pnlTables that its anchors keep.
constexpr int ListTop = 4;
constexpr int ListBottomGap = 22;
constexpr int LabelBottomGap = 21;

// The window's client area; lays out its docked elements whenever its size changes.
class ClientArea : public QWidget {
public:
    explicit ClientArea(QWidget* parent) : QWidget(parent) {}
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent*) override {
        if (onResize)
            onResize();
    }
};

// The toolbar is of the toolkit's toolbar kind, but its buttons keep their designed places and its
// background is transparent.
class ToolbarArea : public QToolBar {
public:
    explicit ToolbarArea(QWidget* parent) : QToolBar(parent) {
        setMovable(false);
        setFloatable(false);
    }

protected:
    void paintEvent(QPaintEvent*) override {}
};

// No element of the window shows a hint.
class NoHints : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

TFieldItem* RowDescriptor(const QTreeWidgetItem* row) {
    return row->data(0, Qt::UserRole).value<TFieldItem*>();
}

std::vector<const TFieldItem*> Descriptors(const TListView* list) {
    std::vector<const TFieldItem*> result;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (const TFieldItem* field = RowDescriptor(list->topLevelItem(i)))
            result.push_back(field);
    return result;
}

void FreeDescriptors(TListView* list) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        delete RowDescriptor(row);
        row->setData(0, Qt::UserRole, QVariant());
    }
}

// Shows a list's column count; the label sizes itself to its text and nothing else moves.
void ShowCount(QLabel* label, const TListView* list) {
    const QString text = QStringLiteral("%1 velden").arg(list->topLevelItemCount());
    if (label->text() == text)
        return;
    label->setText(text);
    label->resize(label->sizeHint().width(), label->height());
}

// The comparison run dispatches pending events after every table, many times faster than a screen can
// show the result. Elements whose look changes from table to table paint at most once a frame; elements
// that the toolkit only repaints with them (the list headers) paint once, after the run. What they
// showed in between would have been overwritten before anybody saw it. Dropping the pacer lets both
// groups paint as they are.
class RepaintPacer {
public:
    RepaintPacer(std::vector<QWidget*> changing, std::vector<QWidget*> steady)
        : changing_(std::move(changing)), steady_(std::move(steady)) {
        Hold(changing_, true);
        Hold(steady_, true);
    }
    ~RepaintPacer() {
        Hold(steady_, false);
        Hold(changing_, false);
    }
    RepaintPacer(const RepaintPacer&) = delete;
    RepaintPacer& operator=(const RepaintPacer&) = delete;

    // Dispatches every pending event; once a frame has passed since the last paint, the changing
    // elements paint within it. A slow display stretches the frame, so that painting takes at most a
    // tenth of the run.
    void DispatchPending() {
        const bool paint = !frame_.isValid() || frame_.hasExpired(gapMs_);
        if (!paint) {
            QCoreApplication::processEvents();
            return;
        }
        frame_.start();
        Hold(changing_, false);
        QCoreApplication::processEvents();
        Hold(changing_, true);
        gapMs_ = std::max<qint64>(FrameMs, 9 * frame_.elapsed());
    }

private:
    static constexpr qint64 FrameMs = 40;

    static void Hold(const std::vector<QWidget*>& widgets, bool hold) {
        for (QWidget* widget : widgets)
            widget->setUpdatesEnabled(!hold); // enabling again repaints the whole element
    }

    std::vector<QWidget*> changing_;
    std::vector<QWidget*> steady_;
    QElapsedTimer frame_;
    qint64 gapMs_ = FrameMs;
};

} // namespace

QFont WindowFont() {
    const QString designed = QStringLiteral("MS Sans Serif");
    const bool present = QFontDatabase::families().contains(designed);
    QFont font = present ? QFont(designed) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // 8 points at the 96 pixels per inch the pixel layout is drawn for.
    font.setPixelSize(11);
    if (!present) {
        // The captions were sized for a narrow face; a wider one takes its condensed cut where it has one.
        const QString probe = QStringLiteral("Null-velden");
        QFont narrow = font;
        narrow.setStretch(QFont::Condensed);
        if (QFontMetrics(font).horizontalAdvance(probe) > 56 &&
            QFontMetrics(narrow).horizontalAdvance(probe) < QFontMetrics(font).horizontalAdvance(probe))
            font = narrow;
    }
    return font;
}

TfrmMain::TfrmMain(QWidget* parent, const std::string& settingsPath)
    : QMainWindow(parent), FSettingsPath(settingsPath) {
    frmMain = this;
    CreateLayout();
    Guarded([this] { FormCreate(this); });
    // The toolbar shows the state after start-up from the first moment, shown or not.
    Guarded([this] { ActionList->UpdateWindowCommands(); });
}

TfrmMain::~TfrmMain() {
    hide();
    Guarded([this] { FormDestroy(this); });
    if (frmMain == this)
        frmMain = nullptr;
}

// ---- Layout ----

void TfrmMain::CreateLayout() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Korvista"));
    setWindowIcon(ProgramIcon());
    setFont(WindowFont());
    setAttribute(Qt::WA_QuitOnClose);

    ImageList16 = new TImageList(this, 16);
    ImageList16->setObjectName(QStringLiteral("ImageList16"));
    ImageList24 = new TImageList(this, 24);
    ImageList24->setObjectName(QStringLiteral("ImageList24"));

    auto* client = new ClientArea(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setAutoFillBackground(true);
    client->setBackgroundRole(QPalette::Button);
    FClient = client;
    setCentralWidget(client);

    CreateCommands();
    CreateMenu();
    CreateToolbar();

    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Label1 = new QLabel(QStringLiteral("Compare:"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(11, 5, 45, 13);
    struct Switch {
        QCheckBox** box;
        const char* name;
        const char* caption;
        int left;
        void (TfrmMain::*handler)(QObject*);
    };
    const Switch switches[] = {
        {&chkDatatype, "chkDatatype", "Datatype", 100, &TfrmMain::chkDatatypeClick},
        {&chkSize, "chkSize", "Size", 180, &TfrmMain::chkSizeClick},
        {&chkNull, "chkNull", "Null-velden", 260, &TfrmMain::chkNullClick},
        {&chkMissing, "chkMissing", "Missing", 340, &TfrmMain::chkMissingClick},
    };
    for (const Switch& s : switches) {
        auto* box = new QCheckBox(QString::fromUtf8(s.caption), Panel1);
        box->setObjectName(QString::fromUtf8(s.name));
        box->setGeometry(s.left, 4, 77, 17);
        // Every change of state runs the handler, also one made by the program.
        connect(box, &QCheckBox::toggled, this,
                [this, box, handler = s.handler] { Guarded([&] { (this->*handler)(box); }); });
        *s.box = box;
    }

    pnlTables = new QFrame(client);
    pnlTables->setObjectName(QStringLiteral("pnlTables"));
    pnlTables->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlTables->setLineWidth(1);
    lvTables = new TListView(pnlTables, QStringLiteral("lvTables"),
                             {{QStringLiteral("Tabel"), TListView::AutoSize}});
    lvTables->SetHotTrack(true);
    lvDB1 = new TListView(pnlTables, QStringLiteral("lvDB1"),
                          {{QStringLiteral("Field"), TListView::AutoSize},
                           {QStringLiteral("Datatype"), 75},
                           {QStringLiteral("Length"), 40},
                           {QStringLiteral("Nullable"), 75}});
    lvDB2 = new TListView(pnlTables, QStringLiteral("lvDB2"),
                          {{QStringLiteral("Field"), 75},
                           {QStringLiteral("Datatype"), 75},
                           {QStringLiteral("Length"), 40},
                           {QStringLiteral("Nullable"), 75}});
    lblC1 = new QLabel(pnlTables);
    lblC1->setObjectName(QStringLiteral("lblC1"));
    lblC2 = new QLabel(pnlTables);
    lblC2->setObjectName(QStringLiteral("lblC2"));
    // The run walks the tables itself; a click on the table list meanwhile would change what it labels.
    connect(lvTables, &TListView::Click, this, [this] {
        if (!FComparing)
            Guarded([this] { lvTablesClick(lvTables); });
    });
    connect(lvDB1, &TListView::Click, this, [this] { Guarded([this] { lvDB1Click(lvDB1); }); });
    connect(lvDB2, &TListView::Click, this, [this] { Guarded([this] { lvDB2Click(lvDB2); }); });

    Splitter1 = new TSplitterBar(client, QStringLiteral("Splitter1"));
    Splitter1->SetTarget([this] { return FPanelHeight; },
                         [this](int height) { SetTablesPanelHeight(height); });

    const auto result = [](std::size_t cell, int width) {
        return TListView::Column{QString::fromUtf8(kResultCaptions[cell]), width};
    };
    lvResults = new TListView(client, QStringLiteral("lvResults"),
                              {result(0, 170), result(1, 150), result(2, 125), result(3, 125),
                               result(4, TListView::AutoSize)});

    StatusBar1 = new QStatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    StatusBar1->setFont(QApplication::font());

    // Focus: the result list, then the three lists of the panel, then the switches.
    QWidget* tabOrder[] = {lvResults, lvTables, lvDB1, lvDB2, chkDatatype, chkSize, chkNull, chkMissing};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    for (QWidget* w : {static_cast<QWidget*>(StatusBar1), static_cast<QWidget*>(MainMenu),
                       static_cast<QWidget*>(tbToolbar)})
        w->setFocusPolicy(Qt::NoFocus);

    client->onResize = [this] { ArrangeClient(); };
    // Fixed width; the height is free and all extra height goes to the result list.
    client->resize(ClientWidth, ClientHeight);
    setFixedWidth(ClientWidth);
    resize(ClientWidth, MainMenu->sizeHint().height() + ClientHeight);
    UpdateMinimumHeight();
    ArrangeClient();
    lvResults->setFocus();
}

void TfrmMain::CreateCommands() {
    ActionList = new TActionList(this);
    ActionList->setObjectName(QStringLiteral("ActionList"));
    auto command = [this](const char* name, const char* category, const char* caption, int picture) {
        // The menu takes the 16-pixel picture, the toolbar the 24-pixel one.
        QIcon icon;
        for (const TImageList* list : {ImageList16, ImageList24}) {
            const QPixmap pixmap = list->Icon(picture).pixmap(list->Size());
            if (!pixmap.isNull())
                icon.addPixmap(pixmap);
        }
        auto* action = new QAction(icon, QString::fromUtf8(caption), ActionList);
        action->setObjectName(QString::fromUtf8(name));
        action->setProperty("Category", QString::fromUtf8(category));
        action->setProperty("ImageIndex", picture);
        action->setIconVisibleInMenu(true);
        return action;
    };
    actOpenDB1 = command("actOpenDB1", "OpenDB", "Selecteren", 0);
    actOpenDB2 = command("actOpenDB2", "OpenDB", "Selecteren", 0);
    actClose = command("actClose", "Bestand", "Afsluiten", 5);
    actSettings = command("actSettings", "Bestand", "Instellingen", 6);
    actOpenDatabases = command("actOpenDatabases", "DBActies", "Openen databases", 1);
    actCompare = command("actCompare", "DBActies", "Vergelijk", 4);
    actReset = command("actReset", "DBActies", "Reset", 3);

    using Handler = void (TfrmMain::*)(QObject*);
    auto bind = [this](Handler handler) {
        return handler ? TActionList::Handler([this, handler](QObject* sender) { (this->*handler)(sender); })
                       : TActionList::Handler();
    };
    ActionList->Add(actOpenDB1, bind(&TfrmMain::actOpenDB1Execute));
    ActionList->Add(actOpenDB2, bind(&TfrmMain::actOpenDB2Execute));
    ActionList->Add(actClose, bind(&TfrmMain::actCloseExecute));
    ActionList->Add(actSettings, {});
    ActionList->Add(actOpenDatabases, bind(&TfrmMain::actOpenDatabasesExecute));
    ActionList->Add(actCompare, bind(&TfrmMain::actCompareExecute), bind(&TfrmMain::actCompareUpdate));
    ActionList->Add(actReset, bind(&TfrmMain::actResetExecute), bind(&TfrmMain::actResetUpdate));
    // The commands of the toolbar buttons, in the order of the element tree.
    ActionList->SetIdleCommands(this, {actOpenDatabases, actCompare, actReset, actClose});
}

void TfrmMain::CreateMenu() {
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    // Menus and the status bar keep the system's font, as the platform draws them.
    MainMenu->setFont(QApplication::font());
    setMenuBar(MainMenu);
    // Alt and the underlined letter open a menu.
    const QStringList titles = WithAccelerators({QStringLiteral("&Bestand"), QStringLiteral("Database 1"),
                                                 QStringLiteral("Database 2"), QStringLiteral("Acties")});
    auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = MainMenu->addMenu(caption);
        m->setObjectName(QString::fromUtf8(name));
        m->setFont(QApplication::font());
        ActionList->WatchMenu(m);
        return m;
    };
    auto separator = [](QMenu* m, const char* name) {
        QAction* line = m->addSeparator();
        line->setObjectName(QString::fromUtf8(name));
        return line;
    };
    Bestand1 = menu("Bestand1", titles[0]);
    Instellingen1 = ActionList->AddMenuEntry(Bestand1, actSettings, QStringLiteral("Instellingen1"));
    Afsluiten2 = separator(Bestand1, "Afsluiten2");
    Afsluiten1 = ActionList->AddMenuEntry(Bestand1, actClose, QStringLiteral("Afsluiten1"));
    Database11 = menu("Database11", titles[1]);
    Database1selecteren1 =
        ActionList->AddMenuEntry(Database11, actOpenDB1, QStringLiteral("Database1selecteren1"));
    Database21 = menu("Database21", titles[2]);
    Database2selecteren1 =
        ActionList->AddMenuEntry(Database21, actOpenDB2, QStringLiteral("Database2selecteren1"));
    Acties1 = menu("Acties1", titles[3]);
    Vergelijktabelstructuur1 =
        ActionList->AddMenuEntry(Acties1, actOpenDatabases, QStringLiteral("Vergelijktabelstructuur1"));
    Vergelijk1 = ActionList->AddMenuEntry(Acties1, actCompare, QStringLiteral("Vergelijk1"));
    N1 = separator(Acties1, "N1");
    Reset1 = ActionList->AddMenuEntry(Acties1, actReset, QStringLiteral("Reset1"));
}

void TfrmMain::CreateToolbar() {
    tbToolbar = new ToolbarArea(FClient);
    tbToolbar->setObjectName(QStringLiteral("tbToolbar"));
    tbToolbar->setWindowTitle(QStringLiteral("Toolbar"));
    auto* edge = new QFrame(tbToolbar); // the etched line along the top edge
    edge->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    edge->setGeometry(0, 0, 4000, 2);
    auto* noHints = new NoHints(tbToolbar);
    constexpr int edgeHeight = 2;
    auto button = [&](const char* name, QAction* command, int left) {
        auto* b = new QToolButton(tbToolbar);
        b->setObjectName(QString::fromUtf8(name));
        b->setDefaultAction(command); // a click triggers the command, which goes through the command list
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(ImageList24->Size());
        b->setGeometry(left, edgeHeight, 97, 44);
        b->setFocusPolicy(Qt::NoFocus);
        b->installEventFilter(noHints);
        // The button copies the command's text as its hint whenever the command changes; it has none.
        b->setToolTip(QString());
        QObject::connect(command, &QAction::changed, b, [b] { b->setToolTip(QString()); });
        return b;
    };
    // A separator is a toolbar button too, one that shows nothing and takes no input.
    auto gap = [&](const char* name, int left) {
        auto* g = new QToolButton(tbToolbar);
        g->setObjectName(QString::fromUtf8(name));
        g->setAutoRaise(true);
        g->setEnabled(false);
        g->setFocusPolicy(Qt::NoFocus);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        g->setGeometry(left, edgeHeight, 8, 44);
        return g;
    };
    ToolButton1 = button("ToolButton1", actOpenDatabases, 0);
    ToolButton3 = gap("ToolButton3", 97);
    ToolButton2 = button("ToolButton2", actCompare, 105);
    ToolButton4 = button("ToolButton4", actReset, 202);
    ToolButton5 = gap("ToolButton5", 299);
    ToolButton6 = button("ToolButton6", actClose, 307);
}

void TfrmMain::SetTablesPanelHeight(int requested) {
    FPanelHeight = SplitterPanelHeight(requested, FPanelHeight + lvResults->height());
    UpdateMinimumHeight();
    ArrangeClient();
}

void TfrmMain::UpdateMinimumHeight() {
    // The window may not get shorter than its docked elements.
    FClient->setMinimumHeight(ToolbarHeight + SwitchPanelHeight + FPanelHeight + TSplitterBar::Thickness +
                              StatusBarHeight);
}

void TfrmMain::ArrangeClient() {
    const int width = FClient->width();
    const int height = FClient->height();
    int top = 0;
    tbToolbar->setGeometry(0, top, width, ToolbarHeight);
    top += ToolbarHeight;
    Panel1->setGeometry(0, top, width, SwitchPanelHeight);
    top += SwitchPanelHeight;
    pnlTables->setGeometry(0, top, width, FPanelHeight);
    top += FPanelHeight;
    Splitter1->setGeometry(0, top, width, TSplitterBar::Thickness);
    top += TSplitterBar::Thickness;
    StatusBar1->setGeometry(0, height - StatusBarHeight, width, StatusBarHeight);
    lvResults->setGeometry(0, top, width, std::max(0, height - StatusBarHeight - top));
    ArrangeTablesPanel();
}

void TfrmMain::ArrangeTablesPanel() {
    const int listHeight = std::max(0, FPanelHeight - ListTop - ListBottomGap);
    lvTables->setGeometry(8, ListTop, 153, listHeight);
    lvDB1->setGeometry(165, ListTop, 273, listHeight);
    lvDB2->setGeometry(442, ListTop, 273, listHeight);
    const int labelTop = FPanelHeight - LabelBottomGap;
    for (auto [label, left] : {std::pair{lblC1, 167}, std::pair{lblC2, 444}}) {
        // Sized to the text; an empty label keeps its designed width.
        const int width = label->text().isEmpty() ? 3 : label->sizeHint().width();
        label->setGeometry(left, labelTop, width, 13);
    }
}

// ---- State ----

CompareSwitches TfrmMain::Switches() const {
    return CompareSwitches{FCompareDatatype, FCompareSize, FCompareNull, FCompareMissing};
}

std::string TfrmMain::DataTypeName(TFieldType value) const {
    return korvista::DataTypeName(value);
}

void TfrmMain::FormCreate(QObject*) {
    FSettings = FSettingsPath.empty() ? new TSettings(this) : new TSettings(this, FSettingsPath);
    FDB1 = new TDatabase(this);
    FDB2 = new TDatabase(this);
    FCompareDatatype = true;
    FCompareSize = true;
    FCompareMissing = true;
    FCompareNull = true;
    chkSize->setChecked(true);
    chkNull->setChecked(true);
    chkMissing->setChecked(true);
    chkDatatype->setChecked(true);
}

void TfrmMain::FormDestroy(QObject*) {
    delete FDB2;
    FDB2 = nullptr;
    delete FDB1;
    FDB1 = nullptr;
    delete FSettings;
    FSettings = nullptr;
}

void TfrmMain::actCloseExecute(QObject*) {
    close();
}

// ---- Commands ----

void TfrmMain::actOpenDB1Execute(QObject*) {
    if (!FSettings)
        throw Error("The settings are not available");
    const std::string result = Ui().PromptDataSource(this, FSettings->ADOStr1());
    if (!IsBlankText(result))
        FSettings->SetADOStr1(result);
}

void TfrmMain::actOpenDB2Execute(QObject*) {
    if (!FSettings)
        throw Error("The settings are not available");
    const std::string result = Ui().PromptDataSource(this, FSettings->ADOStr2());
    if (!IsBlankText(result))
        FSettings->SetADOStr2(result);
}

void TfrmMain::actOpenDatabasesExecute(QObject*) {
    OpenDatabases();
}

void TfrmMain::actResetExecute(QObject*) {
    FreeDescriptors(lvDB1);
    FreeDescriptors(lvDB2);
    lvResults->clear();
    lvTables->clear();
    lvDB1->clear();
    lvDB2->clear();
}

void TfrmMain::actCompareUpdate(QObject*) {
    ActionList->SetEnabled(actCompare, FDB1 && FDB1->ADO().Connected() && FDB2 && FDB2->ADO().Connected());
}

void TfrmMain::actResetUpdate(QObject*) {
    ActionList->SetEnabled(actReset, lvTables->topLevelItemCount() > 0 || lvDB1->topLevelItemCount() > 0 ||
                                         lvDB2->topLevelItemCount() > 0 ||
                                         lvResults->topLevelItemCount() > 0);
}

void TfrmMain::chkDatatypeClick(QObject*) {
    FCompareDatatype = chkDatatype->isChecked();
}

void TfrmMain::chkSizeClick(QObject*) {
    FCompareSize = chkSize->isChecked();
}

void TfrmMain::chkNullClick(QObject*) {
    FCompareNull = chkNull->isChecked();
}

void TfrmMain::chkMissingClick(QObject*) {
    FCompareMissing = chkMissing->isChecked();
}

void TfrmMain::lvDB1Click(QObject*) {
    lvDB2->SelectRow(lvDB1->SelectedIndex());
}

void TfrmMain::lvDB2Click(QObject*) {
    lvDB1->SelectRow(lvDB2->SelectedIndex());
}

// ---- Schema reader ----

void TfrmMain::OpenDatabases() {
    if (!FSettings || !FDB1 || !FDB2)
        throw Error("The databases are not available");
    FDB1->SetConnectionString(FSettings->ADOStr1());
    FDB2->SetConnectionString(FSettings->ADOStr2());
    FDB1->Connect();
    FDB2->Connect();
    ActionList->Execute(actReset);
    std::vector<std::string> names;
    GetTableNames(FDB1->ADO(), names, false);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        rows.append(new QTreeWidgetItem(QStringList{QString::fromStdString(name)}));
    lvTables->addTopLevelItems(rows);
}

void TfrmMain::lvTablesClick(QObject*) {
    const int index = lvTables->SelectedIndex();
    if (index < 0)
        return;
    const std::string table = lvTables->topLevelItem(index)->text(0).toStdString();
    // A list that cannot be read stays empty, without a word to the user. A lost connection is no such
    // list: it ends what is running with an error that names the database and the table.
    const auto lost = [&](TListView* list, QLabel* label, int database, const ConnectionLost& error) {
        ClearFieldList(list);
        ShowCount(label, list);
        ArrangeTablesPanel();
        return LostConnection(database, ReadingTable(table), error);
    };
    try {
        LoadFields(lvDB1, table, FDB1);
    } catch (const ConnectionLost& error) {
        throw lost(lvDB1, lblC1, 1, error);
    } catch (...) {
        ClearFieldList(lvDB1);
    }
    ShowCount(lblC1, lvDB1);
    try {
        LoadFields(lvDB2, table, FDB2);
    } catch (const ConnectionLost& error) {
        throw lost(lvDB2, lblC2, 2, error);
    } catch (...) {
        ClearFieldList(lvDB2);
    }
    ShowCount(lblC2, lvDB2);
}

void TfrmMain::ClearFieldList(TListView* list) {
    // The rows go first, so that none points at a freed descriptor even for a moment.
    const std::vector<const TFieldItem*> descriptors = Descriptors(list);
    list->clear();
    for (const TFieldItem* field : descriptors)
        delete field;
}

void TfrmMain::LoadFields(TListView* list, const std::string& tableName, TDatabase* database) {
    if (!database || !database->ADO().Connected())
        return;
    const std::vector<FieldDef> definitions = ReadTableFields(database->ADO(), tableName);
    // Descriptors go with the rows they belong to: the old ones are freed once no row carries them.
    const std::vector<const TFieldItem*> previous = Descriptors(list);
    std::vector<TListView::Row> rows;
    rows.reserve(definitions.size());
    for (const FieldDef& definition : definitions) {
        TFieldItem* field = NewFieldItem(definition, this);
        rows.push_back({QStringList{QString::fromStdString(field->FieldName),
                                    QString::fromStdString(DataTypeName(field->DataType)),
                                    QString::number(field->Length),
                                    field->Nullable ? QStringLiteral("Null") : QStringLiteral("Not null")},
                        QVariant::fromValue(field)});
    }
    list->SetRows(rows);
    for (const TFieldItem* field : previous)
        delete field;
    if (list->topLevelItemCount() > 0)
        list->SelectRow(0);
}

// ---- Comparison run ----

void TfrmMain::AppendResult(const ResultRow& row) {
    lvResults->addTopLevelItem(new QTreeWidgetItem(QStringList{
        QString::fromStdString(row.table), QString::fromStdString(row.field), QString::fromStdString(row.db1),
        QString::fromStdString(row.db2), QString::fromStdString(row.difference)}));
}

void TfrmMain::actCompareExecute(QObject*) {
    std::int32_t count = 0;
    {
        TSuspendGuard suspended(*ActionList);
        const QScopedValueRollback comparing(FComparing, true);
        // Hovering would move the selection that shows which table is being compared.
        const auto restoreHotTrack = qScopeGuard([this, hotTrack = lvTables->HotTrack()] {
            lvTables->SetHotTrack(hotTrack);
        });
        lvTables->SetHotTrack(false);

        // What a table changes: the rows, the scroll bars and the counts. The headers stay as they are.
        // Frames and panels paint as usual.
        std::vector<QWidget*> changing{lblC1, lblC2};
        std::vector<QWidget*> steady;
        for (TListView* list : {lvTables, lvDB1, lvDB2, lvResults}) {
            changing.insert(changing.end(),
                            {list->viewport(), list->verticalScrollBar(), list->horizontalScrollBar()});
            steady.push_back(list->header()->viewport());
        }
        RepaintPacer pacer(std::move(changing), std::move(steady));
        const int tableCount = lvTables->topLevelItemCount();
        for (int i = 0; i < tableCount && i < lvTables->topLevelItemCount(); ++i) {
            lvTables->SelectRow(i);
            // The list follows the run a page at a time, and the last table stays in view after it.
            lvTables->ShowRow(i);
            lvTablesClick(lvTables);
            // Repaints and input; switches clicked here apply from now on.
            pacer.DispatchPending();
            const std::string table = lvTables->topLevelItem(i)->text(0).toStdString();
            const TableComparison result =
                CompareTableColumns(table, Descriptors(lvDB1), Descriptors(lvDB2), CompareOptions(Switches()));
            for (const ResultRow& row : result.rows)
                AppendResult(row);
            count += result.count;
        }
    }
    if (count != 0)
        Ui().ShowMessage(this, AppTitle(), QStringLiteral("Er zijn %1 verschillen gevonden!").arg(count));
}

} // namespace korvista
