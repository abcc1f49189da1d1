-- Sample webshop, version 2: the schema after a year of changes.
PRAGMA foreign_keys = OFF;
BEGIN;

-- Same view text; its name column follows customers.name to 60 characters.
CREATE VIEW customer_orders AS
    SELECT c.customer_id, c.name, o.order_id, o.order_date
    FROM customers c JOIN orders o ON o.customer_id = c.customer_id;

CREATE TABLE customers (
    customer_id   INTEGER      NOT NULL PRIMARY KEY,
    name          VARCHAR(60)  NOT NULL,  -- longer
    EMAIL         VARCHAR(100),           -- renamed in letter case only
    country_code  CHAR(2)      NOT NULL,  -- phone is gone
    created_at    DATETIME     NOT NULL,
    is_active     BOOLEAN      NOT NULL,
    newsletter    BOOLEAN      NOT NULL   -- new
);

CREATE TABLE order_lines (
    order_line_id INTEGER       NOT NULL PRIMARY KEY,
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    product_id    INTEGER       NOT NULL REFERENCES products (product_id),
    QUANTITY      INTEGER       NOT NULL,
    UNIT_PRICE    NUMERIC(10,3) NOT NULL  -- other letter case and one more decimal
);

CREATE TABLE orders (
    order_id      INTEGER       NOT NULL PRIMARY KEY,
    customer_id   INTEGER       NOT NULL REFERENCES customers (customer_id),
    order_date    DATE          NOT NULL,
    ship_time     TIME,
    status        INTEGER,                -- now a status code, optional
    total         DECIMAL(12,4) NOT NULL,
    reference     UUID,                   -- optional now
    placed_at     BIGINT        NOT NULL
);

CREATE TABLE products (
    product_id    INTEGER       NOT NULL PRIMARY KEY,
    sku           CHAR(12)      NOT NULL,
    title         NVARCHAR(80)  NOT NULL,
    description   TEXT          NOT NULL,
    price         DECIMAL(12,2) NOT NULL, -- other declared type, same category and scale
    weight        DOUBLE,                 -- likewise
    barcode       VARCHAR(13),
    stock_level   INTEGER       NOT NULL,
    image         BLOB,
    supplier_id   INTEGER       REFERENCES suppliers (supplier_id)
);

-- New in version 2; a table only in database 2 is never reported.
CREATE TABLE suppliers (
    supplier_id   INTEGER       NOT NULL PRIMARY KEY,
    name          NVARCHAR(100) NOT NULL,
    vat_number    CHAR(14)
);

INSERT INTO suppliers VALUES (1, 'Rijwielgroothandel Noord', 'NL001234567B01');
INSERT INTO customers VALUES (1, 'Jansen Fietsen', 'info@jansen.example', 'NL', '2023-03-01 09:15:00', 1, 0);
INSERT INTO products VALUES (1, 'FTS-0001-ZW', 'Stadsfiets zwart', 'Degelijke stadsfiets', 549.00, 17.5, '8712345678906', 4, NULL, 1);
INSERT INTO orders VALUES (1, 1, '2023-03-02', '14:30:00', 3, 549.00, '9b2f6c1e-2a4d-4f3b-8c51-0d7e6a1b3c44', 1677767400);
INSERT INTO order_lines VALUES (1, 1, 1, 1, 549.000);

COMMIT;
