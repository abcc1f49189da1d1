#pragma once

#include "app/connection_dialog_model.h"
#include "schema/odbc_driver_listing.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

namespace korvista {

// The connection dialog: pages "Provider", "Verbinding" and "Alle" over one TConnectionModel.
class TfrmConnection : public QDialog {
    Q_OBJECT
public:
    // Picks a database file; gets the current path, gives an empty string when the user cancels.
    using FileChooser = std::function<QString(QWidget* parent, const QString& current)>;

    TfrmConnection(QWidget* parent, const std::string& initial,
                   const OdbcDriverListingSource& listing = ReadOdbcDriverListing);

    // The composed string, password included.
    std::string ConnectionString() const { return FModel.Compose(); }
    // What the caller gets: the composed string once accepted, the initial string otherwise.
    std::string Result() const;

    const TConnectionModel& Model() const { return FModel; }
    void SetFileChooser(FileChooser chooser) { FFileChooser = std::move(chooser); }

public slots:
    // Opens a connection with the composed string and reports the outcome through the UI seam.
    void TestConnection();

private:
    QWidget* CreateProviderPage();
    QWidget* CreateConnectionPage();
    QWidget* CreateAllPage();
    QLineEdit* FieldEdit(const char* objectName, const char* key);

    void ProviderChosen();
    void BrowseClick();
    void AllChanged();
    void AddKeyClick();
    void RemoveKeyClick();

    void ShowProviders();
    void ShowConnection();
    void ShowAll();
    // Shows the value cells of the "Alle" page masked where they hold passwords.
    void MaskAll();

    TConnectionModel FModel;
    std::string FInitial;
    OdbcDriverListing FListing;
    std::string FListingError;
    FileChooser FFileChooser;
    bool FUpdating = false;

    QTabWidget* tcPages = nullptr;
    QTreeWidget* tvProviders = nullptr;
    QStackedWidget* pcConnection = nullptr;
    QLabel* lblDriver = nullptr;
    QLabel* lblDataSource = nullptr;
    QLabel* lblOther = nullptr;
    QLabel* lblWarning = nullptr;
    QPushButton* btnTest = nullptr;
    QTableWidget* tblAll = nullptr;
    std::vector<std::pair<QLineEdit*, std::string>> FFields; // field and the key it edits
};

} // namespace korvista
