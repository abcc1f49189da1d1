-- Sample webshop, version 1: the schema as the first release shipped it.
-- Objects are created in name order, so a catalogue in creation order and one in name order agree.
PRAGMA foreign_keys = OFF;
BEGIN;

-- Dropped in version 2.
CREATE TABLE coupons (
    code          VARCHAR(20) NOT NULL PRIMARY KEY,
    percentage    SMALLINT    NOT NULL,
    valid_until   DATE
);

CREATE VIEW customer_orders AS
    SELECT c.customer_id, c.name, o.order_id, o.order_date
    FROM customers c JOIN orders o ON o.customer_id = c.customer_id;

CREATE TABLE customers (
    customer_id   INTEGER      NOT NULL PRIMARY KEY,
    name          VARCHAR(50)  NOT NULL,
    email         VARCHAR(100),
    phone         VARCHAR(20),
    country_code  CHAR(2)      NOT NULL,
    created_at    DATETIME     NOT NULL,
    is_active     BOOLEAN      NOT NULL
);

CREATE TABLE order_lines (
    order_line_id INTEGER       NOT NULL PRIMARY KEY,
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    product_id    INTEGER       NOT NULL REFERENCES products (product_id),
    quantity      INTEGER       NOT NULL,
    unit_price    NUMERIC(10,2) NOT NULL
);

CREATE TABLE orders (
    order_id      INTEGER       NOT NULL PRIMARY KEY,
    customer_id   INTEGER       NOT NULL REFERENCES customers (customer_id),
    order_date    DATE          NOT NULL,
    ship_time     TIME,
    status        VARCHAR(20)   NOT NULL,
    total         DECIMAL(12,2) NOT NULL,
    reference     UUID          NOT NULL,
    placed_at     BIGINT        NOT NULL
);

CREATE TABLE products (
    product_id    INTEGER       NOT NULL PRIMARY KEY,
    sku           CHAR(12)      NOT NULL,
    title         NVARCHAR(80)  NOT NULL,
    description   TEXT,
    price         NUMERIC(10,2) NOT NULL,
    weight        REAL,
    barcode       INTEGER,
    stock_level   SMALLINT      NOT NULL,
    image         BLOB
);

INSERT INTO customers VALUES (1, 'Jansen Fietsen', 'info@jansen.example', '+31 20 555 0101', 'NL', '2023-03-01 09:15:00', 1);
INSERT INTO products VALUES (1, 'FTS-0001-ZW', 'Stadsfiets zwart', 'Degelijke stadsfiets', 549.00, 17.5, 8712345678906, 4, NULL);
INSERT INTO orders VALUES (1, 1, '2023-03-02', '14:30:00', 'verzonden', 549.00, '9b2f6c1e-2a4d-4f3b-8c51-0d7e6a1b3c44', 1677767400);
INSERT INTO order_lines VALUES (1, 1, 1, 1, 549.00);
INSERT INTO coupons VALUES ('LENTE10', 10, '2023-06-30');

COMMIT;
