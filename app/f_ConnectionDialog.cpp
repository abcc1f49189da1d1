#include "app/f_ConnectionDialog.h"

#include "app/app_title.h"
#include "app/connection_dialog.h"
#include "app/ui_seam.h"
#include "schema/ado_connection.h"
#include "schema/connection_string.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korvista {

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int NameRole = Qt::UserRole + 1;
// A value cell of the "Alle" page that shows a mask keeps the value here, and the mask it shows.
constexpr int SecretRole = Qt::UserRole + 2;
constexpr int ShownRole = Qt::UserRole + 3;

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}
std::string ToUtf8(const QString& text) {
    return text.toStdString();
}

QString DefaultFileChooser(QWidget* parent, const QString& current) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Databasebestand kiezen"),
                                        current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
                                        QStringLiteral("SQLite-databases (*.db *.sqlite *.sqlite3 *.db3);;"
                                                       "Alle bestanden (*)"));
}

QTreeWidgetItem* AddGroup(QTreeWidget* tree, const QString& caption) {
    auto* group = new QTreeWidgetItem(tree, {caption});
    group->setFlags(Qt::ItemIsEnabled);
    QFont font = group->font(0);
    font.setBold(true);
    group->setFont(0, font);
    group->setFirstColumnSpanned(true);
    return group;
}

QTreeWidgetItem* AddChoice(QTreeWidgetItem* group, const TProviderChoice& choice, const QString& caption,
                           const QString& description = {}) {
    auto* item = new QTreeWidgetItem(group, {caption, description});
    item->setData(0, KindRole, static_cast<int>(choice.kind));
    item->setData(0, NameRole, ToQString(choice.name));
    return item;
}

QTreeWidgetItem* AddNote(QTreeWidgetItem* group, const QString& text) {
    auto* item = new QTreeWidgetItem(group, {text});
    item->setFlags(Qt::NoItemFlags);
    item->setFirstColumnSpanned(true);
    return item;
}

TProviderChoice ChoiceOf(const QTreeWidgetItem* item) {
    return {static_cast<TProviderKind>(item->data(0, KindRole).toInt()),
            ToUtf8(item->data(0, NameRole).toString())};
}

bool IsChoice(const QTreeWidgetItem* item) {
    return item && item->data(0, KindRole).isValid();
}

// The value a cell of the "Alle" page stands for: what it keeps behind its mask, unless the cell's
// text was set anew since the mask went up.
QString CellValue(const QModelIndex& index) {
    const QVariant secret = index.data(SecretRole);
    const QString text = index.data(Qt::EditRole).toString();
    return secret.isValid() && text == index.data(ShownRole).toString() ? secret.toString() : text;
}

QString KeyOf(const QModelIndex& index) {
    return index.siblingAtColumn(0).data(Qt::EditRole).toString();
}

// Edits a masked value in a password field, so that it does not show while it is typed.
class ValueDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(editor);
            edit && (index.data(SecretRole).isValid() || IsPasswordKey(ToUtf8(KeyOf(index)))))
            edit->setEchoMode(QLineEdit::Password);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setText(CellValue(index));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
};

} // namespace

TfrmConnection::TfrmConnection(QWidget* parent, const std::string& initial,
                               const OdbcDriverListingSource& listing)
    : QDialog(parent), FInitial(initial), FFileChooser(DefaultFileChooser) {
    setObjectName(QStringLiteral("frmConnection"));
    setWindowTitle(QStringLiteral("Verbindingseigenschappen"));
    setModal(true);

    std::string parseError;
    try {
        FModel = TConnectionModel(initial);
    } catch (const Error& e) {
        // Start afresh; Cancel still hands back the unreadable string untouched.
        parseError = e.what();
    }
    try {
        FListing = listing();
    } catch (const std::exception& e) {
        FListingError = e.what();
        if (FListingError.empty())
            FListingError = "onbekende fout";
    }

    lblWarning = new QLabel(this);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setWordWrap(true);
    // The reader's own words go on a line of their own.
    lblWarning->setText(QStringLiteral("De huidige verbindingsreeks kon niet worden gelezen; "
                                       "Annuleren laat haar ongewijzigd.\n%1")
                            .arg(ToQString(parseError)));
    lblWarning->setVisible(!parseError.empty());

    tcPages = new QTabWidget(this);
    tcPages->setObjectName(QStringLiteral("tcPages"));
    tcPages->addTab(CreateProviderPage(), QStringLiteral("Provider"));
    tcPages->addTab(CreateConnectionPage(), QStringLiteral("Verbinding"));
    tcPages->addTab(CreateAllPage(), QStringLiteral("Alle"));

    btnTest = new QPushButton(QStringLiteral("Verbinding testen"), this);
    btnTest->setObjectName(QStringLiteral("btnTest"));
    btnTest->setAutoDefault(false);
    connect(btnTest, &QPushButton::clicked, this, &TfrmConnection::TestConnection);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    QPushButton* btnCancel = buttons->addButton(QStringLiteral("Annuleren"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnTest);
    bottom->addStretch();
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblWarning);
    layout->addWidget(tcPages);
    layout->addLayout(bottom);

    ShowProviders();
    ShowConnection();
    ShowAll();
    // A string being edited opens where its values are; a new one starts with the choice of provider.
    const bool blank = TrimAscii(initial, kLineBlanks).empty();
    tcPages->setCurrentIndex(blank || !parseError.empty() ? 0 : 1);
    resize(520, 460);
}

std::string TfrmConnection::Result() const {
    return result() == QDialog::Accepted ? ConnectionString() : FInitial;
}

QWidget* TfrmConnection::CreateProviderPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsProvider"));
    auto* caption = new QLabel(QStringLiteral("Kies de gegevensbron waarmee u verbinding wilt maken:"), page);
    tvProviders = new QTreeWidget(page);
    tvProviders->setObjectName(QStringLiteral("tvProviders"));
    tvProviders->setColumnCount(2);
    tvProviders->setHeaderLabels({QStringLiteral("Naam"), QStringLiteral("Omschrijving")});
    tvProviders->setRootIsDecorated(false);
    tvProviders->setItemsExpandable(false);
    tvProviders->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tvProviders->header()->setStretchLastSection(true);
    connect(tvProviders, &QTreeWidget::currentItemChanged, this, [this] { ProviderChosen(); });
    connect(tvProviders, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (IsChoice(item))
            tcPages->setCurrentIndex(1);
    });

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(caption);
    layout->addWidget(tvProviders);
    return page;
}

QLineEdit* TfrmConnection::FieldEdit(const char* objectName, const char* key) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(objectName));
    FFields.emplace_back(edit, key);
    connect(edit, &QLineEdit::textChanged, this, [this, key = std::string(key)](const QString& text) {
        if (FUpdating)
            return;
        FModel.SetValue(key, ToUtf8(text));
        ShowAll();
    });
    return edit;
}

QWidget* TfrmConnection::CreateConnectionPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsConnection"));
    pcConnection = new QStackedWidget(page);
    pcConnection->setObjectName(QStringLiteral("pcConnection"));

    // One page per provider kind, in the order of TProviderKind.
    auto* sqlite = new QWidget;
    sqlite->setObjectName(QStringLiteral("pgSqlite"));
    {
        auto* edit = FieldEdit("edtDataSource", TConnectionModel::kDataSource);
        auto* browse = new QPushButton(QStringLiteral("Bladeren..."));
        browse->setObjectName(QStringLiteral("btnBrowse"));
        browse->setAutoDefault(false);
        connect(browse, &QPushButton::clicked, this, &TfrmConnection::BrowseClick);
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(browse);
        auto* form = new QFormLayout(sqlite);
        form->addRow(new QLabel(QStringLiteral("Ingebouwde provider: SQLite")));
        form->addRow(QStringLiteral("Databasebestand:"), row);
        form->addRow(new QLabel(QStringLiteral("Het bestand moet bestaan; het wordt alleen gelezen.")));
    }
    pcConnection->addWidget(sqlite);

    auto* driver = new QWidget;
    driver->setObjectName(QStringLiteral("pgDriver"));
    {
        lblDriver = new QLabel;
        lblDriver->setObjectName(QStringLiteral("lblDriver"));
        auto* port = FieldEdit("edtPort", TConnectionModel::kPort);
        port->setValidator(new QIntValidator(1, 65535, port));
        auto* password = FieldEdit("edtPassword", TConnectionModel::kPassword);
        password->setEchoMode(QLineEdit::Password);
        auto* form = new QFormLayout(driver);
        form->addRow(lblDriver);
        form->addRow(QStringLiteral("Server:"), FieldEdit("edtServer", TConnectionModel::kServer));
        form->addRow(QStringLiteral("Poort:"), port);
        form->addRow(QStringLiteral("Database:"), FieldEdit("edtDatabase", TConnectionModel::kDatabase));
        form->addRow(QStringLiteral("Gebruikersnaam:"), FieldEdit("edtUser", TConnectionModel::kUser));
        form->addRow(QStringLiteral("Wachtwoord:"), password);
    }
    pcConnection->addWidget(driver);

    auto* dataSource = new QWidget;
    dataSource->setObjectName(QStringLiteral("pgDataSource"));
    {
        lblDataSource = new QLabel;
        lblDataSource->setObjectName(QStringLiteral("lblDataSource"));
        auto* password = FieldEdit("edtDsnPassword", TConnectionModel::kPassword);
        password->setEchoMode(QLineEdit::Password);
        auto* form = new QFormLayout(dataSource);
        form->addRow(lblDataSource);
        form->addRow(QStringLiteral("Gebruikersnaam:"), FieldEdit("edtDsnUser", TConnectionModel::kUser));
        form->addRow(QStringLiteral("Wachtwoord:"), password);
    }
    pcConnection->addWidget(dataSource);

    auto* other = new QWidget;
    other->setObjectName(QStringLiteral("pgOther"));
    {
        lblOther = new QLabel;
        lblOther->setObjectName(QStringLiteral("lblOther"));
        lblOther->setWordWrap(true);
        auto* layout = new QVBoxLayout(other);
        layout->addWidget(lblOther);
        layout->addStretch();
    }
    pcConnection->addWidget(other);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(pcConnection);
    layout->addStretch();
    return page;
}

QWidget* TfrmConnection::CreateAllPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsAll"));
    tblAll = new QTableWidget(0, 2, page);
    tblAll->setObjectName(QStringLiteral("tblAll"));
    tblAll->setHorizontalHeaderLabels({QStringLiteral("Sleutel"), QStringLiteral("Waarde")});
    tblAll->horizontalHeader()->setStretchLastSection(true);
    tblAll->verticalHeader()->setVisible(false);
    tblAll->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblAll->setSelectionMode(QAbstractItemView::SingleSelection);
    tblAll->setColumnWidth(0, 160);
    tblAll->setItemDelegateForColumn(1, new ValueDelegate(tblAll));
    connect(tblAll, &QTableWidget::itemChanged, this, [this] { AllChanged(); });

    auto* add = new QPushButton(QStringLiteral("Toevoegen"), page);
    add->setObjectName(QStringLiteral("btnAddKey"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &TfrmConnection::AddKeyClick);
    auto* remove = new QPushButton(QStringLiteral("Verwijderen"), page);
    remove->setObjectName(QStringLiteral("btnRemoveKey"));
    remove->setAutoDefault(false);
    connect(remove, &QPushButton::clicked, this, &TfrmConnection::RemoveKeyClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Alle sleutels van de verbindingsreeks:"), page));
    layout->addWidget(tblAll);
    layout->addLayout(buttons);
    return page;
}

void TfrmConnection::ShowProviders() {
    const TProviderChoice current = FModel.Provider();
    const QScopedValueRollback updating(FUpdating, true);
    tvProviders->clear();
    QTreeWidgetItem* selected = nullptr;
    const auto consider = [&](QTreeWidgetItem* item) {
        if (ChoiceOf(item) == current)
            selected = item;
    };

    QTreeWidgetItem* builtIn = AddGroup(tvProviders, QStringLiteral("Ingebouwd"));
    consider(AddChoice(builtIn, {TProviderKind::pkSqlite, {}}, QStringLiteral("SQLite"),
                       QStringLiteral("SQLite-databasebestand")));

    QTreeWidgetItem* drivers = AddGroup(tvProviders, QStringLiteral("ODBC-drivers"));
    QTreeWidgetItem* sources = AddGroup(tvProviders, QStringLiteral("ODBC-gegevensbronnen"));
    if (!FListingError.empty()) {
        AddNote(drivers, QStringLiteral("ODBC is niet beschikbaar:"));
        AddNote(drivers, ToQString(FListingError));
    } else {
        for (const OdbcDriver& driver : FListing.drivers)
            consider(AddChoice(drivers, {TProviderKind::pkOdbcDriver, driver.name}, ToQString(driver.name),
                               ToQString(driver.description)));
        for (const OdbcDataSource& source : FListing.dataSources)
            consider(AddChoice(sources, {TProviderKind::pkOdbcDataSource, source.name}, ToQString(source.name),
                               ToQString(source.driver)));
        if (FListing.drivers.empty())
            AddNote(drivers, QStringLiteral("(geen geïnstalleerd)"));
        if (FListing.dataSources.empty())
            AddNote(sources, QStringLiteral("(geen ingesteld)"));
    }

    // What the string names but this machine does not offer stays choosable, so it is not lost.
    if (!selected && !(current.kind == TProviderKind::pkOther && current.name.empty())) {
        QTreeWidgetItem* group = AddGroup(tvProviders, QStringLiteral("Uit de verbindingsreeks"));
        const QString note = current.kind == TProviderKind::pkOther ? QStringLiteral("onbekende provider")
                                                                    : QStringLiteral("niet op deze computer");
        selected = AddChoice(group, current, ToQString(current.name), note);
    }

    tvProviders->expandAll();
    tvProviders->setCurrentItem(selected);
    if (!selected)
        tvProviders->clearSelection();
}

void TfrmConnection::ShowConnection() {
    const TProviderChoice current = FModel.Provider();
    const QScopedValueRollback updating(FUpdating, true);
    pcConnection->setCurrentIndex(static_cast<int>(current.kind));
    lblDriver->setText(QStringLiteral("ODBC-driver: %1").arg(ToQString(current.name)));
    lblDataSource->setText(QStringLiteral("ODBC-gegevensbron: %1").arg(ToQString(current.name)));
    lblOther->setText(
        current.name.empty()
            ? QStringLiteral("Kies een provider op de pagina Provider, of vul de sleutels in op de "
                             "pagina Alle.")
            : QStringLiteral("Voor de provider \"%1\" heeft dit venster geen invulvelden; vul de "
                             "sleutels in op de pagina Alle.")
                  .arg(ToQString(current.name)));
    for (const auto& [edit, key] : FFields) {
        const QString value = ToQString(FModel.Value(key));
        if (edit->text() != value)
            edit->setText(value);
    }
}

void TfrmConnection::ShowAll() {
    {
        const QScopedValueRollback updating(FUpdating, true);
        const auto& entries = FModel.Entries();
        tblAll->setRowCount(static_cast<int>(entries.size()));
        int row = 0;
        for (const auto& [key, value] : entries) {
            tblAll->setItem(row, 0, new QTableWidgetItem(ToQString(key)));
            tblAll->setItem(row, 1, new QTableWidgetItem(ToQString(value)));
            ++row;
        }
    }
    MaskAll();
}

void TfrmConnection::MaskAll() {
    const QScopedValueRollback updating(FUpdating, true);
    const QChar maskCharacter(
        static_cast<char16_t>(tblAll->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, tblAll)));
    for (int row = 0; row < tblAll->rowCount(); ++row) {
        QTableWidgetItem* item = tblAll->item(row, 1);
        if (!item)
            continue;
        const QModelIndex index = tblAll->model()->index(row, 1);
        const QString value = CellValue(index);
        const std::optional<std::string> masked =
            MaskedValue(ToUtf8(KeyOf(index)), ToUtf8(value), ToUtf8(QString(maskCharacter)));
        if (masked) {
            item->setData(SecretRole, value);
            item->setData(ShownRole, ToQString(*masked));
            item->setText(ToQString(*masked));
        } else {
            item->setData(SecretRole, QVariant());
            item->setData(ShownRole, QVariant());
            if (item->text() != value)
                item->setText(value);
        }
    }
}

void TfrmConnection::ProviderChosen() {
    if (FUpdating)
        return;
    QTreeWidgetItem* item = tvProviders->currentItem();
    if (!IsChoice(item))
        return;
    FModel.SelectProvider(ChoiceOf(item));
    ShowConnection();
    ShowAll();
}

void TfrmConnection::AllChanged() {
    if (FUpdating)
        return;
    std::vector<std::pair<std::string, std::string>> entries;
    for (int row = 0; row < tblAll->rowCount(); ++row) {
        const QTableWidgetItem* key = tblAll->item(row, 0);
        const QTableWidgetItem* value = tblAll->item(row, 1);
        entries.emplace_back(key ? ToUtf8(key->text().trimmed()) : std::string(),
                             value ? ToUtf8(CellValue(tblAll->model()->index(row, 1))) : std::string());
    }
    FModel.ReplaceEntries(entries);
    // A row renamed to a password key hides its value from now on, and one renamed away shows it.
    MaskAll();
    ShowProviders();
    ShowConnection();
}

void TfrmConnection::AddKeyClick() {
    const int row = tblAll->rowCount();
    {
        const QScopedValueRollback updating(FUpdating, true); // an empty row is not a key yet
        tblAll->insertRow(row);
        tblAll->setItem(row, 0, new QTableWidgetItem);
        tblAll->setItem(row, 1, new QTableWidgetItem);
    }
    tblAll->setCurrentCell(row, 0);
    tblAll->editItem(tblAll->item(row, 0));
}

void TfrmConnection::RemoveKeyClick() {
    const int row = tblAll->currentRow();
    if (row < 0)
        return;
    {
        const QScopedValueRollback updating(FUpdating, true);
        tblAll->removeRow(row);
    }
    AllChanged();
}

void TfrmConnection::BrowseClick() {
    const QString current = ToQString(FModel.Value(TConnectionModel::kDataSource));
    const QString chosen = FFileChooser(this, current);
    if (chosen.isEmpty())
        return;
    for (const auto& [edit, key] : FFields) {
        if (key == TConnectionModel::kDataSource)
            edit->setText(chosen); // flows into the model through textChanged
    }
}

void TfrmConnection::TestConnection() {
    const std::string text = ConnectionString();
    std::string failure;
    bool opened = false;
    {
        btnTest->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto idle = qScopeGuard([this] {
            QApplication::restoreOverrideCursor();
            btnTest->setEnabled(true);
        });
        // Let the busy cursor show before the provider blocks; its login timeout bounds the wait.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        try {
            TADOConnection connection;
            connection.SetLoginPrompt(false);
            connection.SetConnectionString(text);
            connection.Open();
            opened = connection.Connected();
            if (!opened)
                failure = "De provider meldde geen open verbinding.";
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }

    if (opened)
        Ui().ShowMessage(this, AppTitle(), QStringLiteral("Verbinding geslaagd."));
    else
        Ui().ShowError(this, AppTitle(),
                       failure.empty() ? QStringLiteral("Verbinding mislukt.")
                                       : QStringLiteral("Verbinding mislukt:\n%1").arg(ToQString(failure)));
}

std::string PromptConnectionString(QWidget* parent, const std::string& initial) {
    TfrmConnection dialog(parent, initial);
    dialog.exec();
    return dialog.Result();
}

} // namespace korvista
