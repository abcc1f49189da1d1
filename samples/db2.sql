-- Sample webshop, version 2: the schema after a year of changes.
PRAGMA foreign_keys = OFF;
BEGIN;

-- Same view text; its Name column follows Customers.Name to 60 characters.
CREATE VIEW CustomerOrders AS
    SELECT c.CustomerId, c.Name, o.OrderId, o.OrderDate
    FROM Customers c JOIN Orders o ON o.CustomerId = c.CustomerId;

CREATE TABLE Customers (
    CustomerId  INTEGER      NOT NULL PRIMARY KEY,
    Name        VARCHAR(60)  NOT NULL,  -- longer
    EMAIL       VARCHAR(100),           -- renamed in letter case only
    CountryCode CHAR(2)      NOT NULL,  -- Phone is gone
    CreatedAt   DATETIME     NOT NULL,
    IsActive    BOOLEAN      NOT NULL,
    Newsletter  BOOLEAN      NOT NULL   -- new
);

CREATE TABLE OrderLines (
    OrderLineId INTEGER       NOT NULL PRIMARY KEY,
    OrderId     INTEGER       NOT NULL REFERENCES Orders (OrderId),
    ProductId   INTEGER       NOT NULL REFERENCES Products (ProductId),
    QUANTITY    INTEGER       NOT NULL,
    UNITPRICE   NUMERIC(10,3) NOT NULL  -- other letter case and one more decimal
);

CREATE TABLE Orders (
    OrderId     INTEGER       NOT NULL PRIMARY KEY,
    CustomerId  INTEGER       NOT NULL REFERENCES Customers (CustomerId),
    OrderDate   DATE          NOT NULL,
    ShipTime    TIME,
    Status      INTEGER,                -- now a status code, optional
    Total       DECIMAL(12,4) NOT NULL,
    Reference   UUID,                   -- optional now
    PlacedAt    BIGINT        NOT NULL
);

CREATE TABLE Products (
    ProductId   INTEGER       NOT NULL PRIMARY KEY,
    Sku         CHAR(12)      NOT NULL,
    Title       NVARCHAR(80)  NOT NULL,
    Description TEXT          NOT NULL,
    Price       DECIMAL(12,2) NOT NULL, -- other declared type, same category and scale
    Weight      DOUBLE,                 -- likewise
    Barcode     VARCHAR(13),
    StockLevel  INTEGER       NOT NULL,
    Image       BLOB,
    SupplierId  INTEGER       REFERENCES Suppliers (SupplierId)
);

-- New in version 2; a table only in database 2 is never reported.
CREATE TABLE Suppliers (
    SupplierId  INTEGER       NOT NULL PRIMARY KEY,
    Name        NVARCHAR(100) NOT NULL,
    VatNumber   CHAR(14)
);

INSERT INTO Suppliers VALUES (1, 'Rijwielgroothandel Noord', 'NL001234567B01');
INSERT INTO Customers VALUES (1, 'Jansen Fietsen', 'info@jansen.example', 'NL', '2023-03-01 09:15:00', 1, 0);
INSERT INTO Products VALUES (1, 'FTS-0001-ZW', 'Stadsfiets zwart', 'Degelijke stadsfiets', 549.00, 17.5, '8712345678906', 4, NULL, 1);
INSERT INTO Orders VALUES (1, 1, '2023-03-02', '14:30:00', 3, 549.00, '9b2f6c1e-2a4d-4f3b-8c51-0d7e6a1b3c44', 1677767400);
INSERT INTO OrderLines VALUES (1, 1, 1, 1, 549.000);

COMMIT;
