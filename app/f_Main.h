#pragma once

#include "compare/comparison.h"
#include "schema/field_types.h"

#include <QFont>
#include <QMainWindow>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace korvista {

class TActionList;
class TDatabase;
class TImageList;
class TListView;
class TSettings;
class TSplitterBar;

// The main window: its layout, the state it owns (settings, both connections, the four switches)
// and every handler of the tool.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // settingsPath: the settings file to use instead of the one beside the executable (tests).
    explicit TfrmMain(QWidget* parent = nullptr, const std::string& settingsPath = std::string());
    ~TfrmMain() override;

    // Elements of the layout.
    QToolBar* tbToolbar;
    QToolButton* ToolButton1;
    QToolButton* ToolButton3;
    QToolButton* ToolButton2;
    QToolButton* ToolButton4;
    QToolButton* ToolButton5;
    QToolButton* ToolButton6;
    QFrame* Panel1;
    QLabel* Label1;
    QCheckBox* chkDatatype;
    QCheckBox* chkSize;
    QCheckBox* chkNull;
    QCheckBox* chkMissing;
    QFrame* pnlTables;
    TListView* lvTables;
    TListView* lvDB1;
    TListView* lvDB2;
    QLabel* lblC1;
    QLabel* lblC2;
    TSplitterBar* Splitter1;
    TListView* lvResults;
    QStatusBar* StatusBar1;
    QMenuBar* MainMenu;
    QMenu* Bestand1;
    QAction* Instellingen1;
    QAction* Afsluiten2;
    QAction* Afsluiten1;
    QMenu* Database11;
    QAction* Database1selecteren1;
    QMenu* Database21;
    QAction* Database2selecteren1;
    QMenu* Acties1;
    QAction* Vergelijktabelstructuur1;
    QAction* Vergelijk1;
    QAction* N1;
    QAction* Reset1;
    TActionList* ActionList;
    QAction* actOpenDB1;
    QAction* actOpenDB2;
    QAction* actClose;
    QAction* actSettings;
    QAction* actOpenDatabases;
    QAction* actCompare;
    QAction* actReset;
    TImageList* ImageList16;
    TImageList* ImageList24;

    // Handlers; the sender is not used.
    void actCloseExecute(QObject* Sender);
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void actOpenDB1Execute(QObject* Sender);
    void actOpenDB2Execute(QObject* Sender);
    void actOpenDatabasesExecute(QObject* Sender);
    void lvTablesClick(QObject* Sender);
    void lvDB1Click(QObject* Sender);
    void lvDB2Click(QObject* Sender);
    void actCompareExecute(QObject* Sender);
    void actResetExecute(QObject* Sender);
    void actCompareUpdate(QObject* Sender);
    void actResetUpdate(QObject* Sender);
    void chkDatatypeClick(QObject* Sender);
    void chkSizeClick(QObject* Sender);
    void chkNullClick(QObject* Sender);
    void chkMissingClick(QObject* Sender);

    // Read access to the owned state.
    TDatabase* Database1() const { return FDB1; }
    TDatabase* Database2() const { return FDB2; }
    TSettings* Settings() const { return FSettings; }
    CompareSwitches Switches() const;
    bool Comparing() const { return FComparing; }

    // Height of pnlTables as the splitter leaves it.
    int TablesPanelHeight() const { return FPanelHeight; }
    void SetTablesPanelHeight(int requested);

private:
    void CreateLayout();
    void CreateCommands();
    void CreateMenu();
    void CreateToolbar();
    void ArrangeClient();
    void UpdateMinimumHeight();
    void ArrangeTablesPanel();

    void OpenDatabases();
    void LoadFields(TListView* list, const std::string& tableName, TDatabase* database);
    std::string DataTypeName(TFieldType value) const;
    // Empties a field list, freeing the descriptors its rows carry.
    void ClearFieldList(TListView* list);
    void AppendResult(const ResultRow& row);

    TDatabase* FDB1 = nullptr;
    TDatabase* FDB2 = nullptr;
    TSettings* FSettings = nullptr;
    bool FCompareDatatype = false;
    bool FCompareSize = false;
    bool FCompareNull = false;
    bool FCompareMissing = false;

    std::string FSettingsPath;
    bool FComparing = false;
    int FPanelHeight = 303;
    QWidget* FClient = nullptr;
};

// The window's font, 8 points at 96 pixels per inch; the message boxes use it too.
QFont WindowFont();

// The one main window, while it exists.
extern TfrmMain* frmMain;

} // namespace korvista
