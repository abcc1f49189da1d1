-- Sample webshop, version 1: the schema as the first release shipped it.
-- Objects are created in name order, so a catalogue in creation order and one in name order agree.
PRAGMA foreign_keys = OFF;
BEGIN;

-- Dropped in version 2.
CREATE TABLE Coupons (
    Code        VARCHAR(20) NOT NULL PRIMARY KEY,
    Percentage  SMALLINT    NOT NULL,
    ValidUntil  DATE
);

CREATE VIEW CustomerOrders AS
    SELECT c.CustomerId, c.Name, o.OrderId, o.OrderDate
    FROM Customers c JOIN Orders o ON o.CustomerId = c.CustomerId;

CREATE TABLE Customers (
    CustomerId  INTEGER      NOT NULL PRIMARY KEY,
    Name        VARCHAR(50)  NOT NULL,
    Email       VARCHAR(100),
    Phone       VARCHAR(20),
    CountryCode CHAR(2)      NOT NULL,
    CreatedAt   DATETIME     NOT NULL,
    IsActive    BOOLEAN      NOT NULL
);

CREATE TABLE OrderLines (
    OrderLineId INTEGER       NOT NULL PRIMARY KEY,
    OrderId     INTEGER       NOT NULL REFERENCES Orders (OrderId),
    ProductId   INTEGER       NOT NULL REFERENCES Products (ProductId),
    Quantity    INTEGER       NOT NULL,
    UnitPrice   NUMERIC(10,2) NOT NULL
);

CREATE TABLE Orders (
    OrderId     INTEGER       NOT NULL PRIMARY KEY,
    CustomerId  INTEGER       NOT NULL REFERENCES Customers (CustomerId),
    OrderDate   DATE          NOT NULL,
    ShipTime    TIME,
    Status      VARCHAR(20)   NOT NULL,
    Total       DECIMAL(12,2) NOT NULL,
    Reference   UUID          NOT NULL,
    PlacedAt    BIGINT        NOT NULL
);

CREATE TABLE Products (
    ProductId   INTEGER       NOT NULL PRIMARY KEY,
    Sku         CHAR(12)      NOT NULL,
    Title       NVARCHAR(80)  NOT NULL,
    Description TEXT,
    Price       NUMERIC(10,2) NOT NULL,
    Weight      REAL,
    Barcode     INTEGER,
    StockLevel  SMALLINT      NOT NULL,
    Image       BLOB
);

INSERT INTO Customers VALUES (1, 'Jansen Fietsen', 'info@jansen.example', '+31 20 555 0101', 'NL', '2023-03-01 09:15:00', 1);
INSERT INTO Products VALUES (1, 'FTS-0001-ZW', 'Stadsfiets zwart', 'Degelijke stadsfiets', 549.00, 17.5, 8712345678906, 4, NULL);
INSERT INTO Orders VALUES (1, 1, '2023-03-02', '14:30:00', 'verzonden', 549.00, '9b2f6c1e-2a4d-4f3b-8c51-0d7e6a1b3c44', 1677767400);
INSERT INTO OrderLines VALUES (1, 1, 1, 1, 549.00);
INSERT INTO Coupons VALUES ('LENTE10', 10, '2023-06-30');

COMMIT;
