-- Planexo's own work database.
CREATE TABLE INTN (
    INTNRO TEXT NOT NULL PRIMARY KEY,
    INTDSC TEXT
) STRICT;

CREATE TABLE ART (
    INTNRO TEXT NOT NULL,
    ARTORD INTEGER NOT NULL,
    ARTNRO TEXT,
    ARTDSC TEXT,
    MARCA TEXT,
    DESCRIPCION_MARIA TEXT,
    ARTTKG REAL,
    ARTKGB REAL,
    ARTCAN REAL,
    ARTUNI REAL,
    ARTTOT REAL,
    ARTORG TEXT,
    PRCNCM TEXT,
    PRCSUF TEXT,
    PRCLAP TEXT,
    PRCDUN TEXT,
    PRCEUN TEXT,
    PRCECA REAL,
    PRCSUN TEXT,
    PRCSCA REAL,
    PRCESM TEXT,
    PRCORI TEXT,
    PRCEST TEXT,
    PRCCRC TEXT,
    PRIMARY KEY (INTNRO, ARTORD)
) STRICT;
CREATE INDEX ART_ARTNRO ON ART (INTNRO, ARTNRO);
CREATE INDEX ART_PRCEST ON ART (INTNRO, PRCEST);

-- Declared unit per tariff position.
CREATE TABLE NCMDEC (
    NCM TEXT NOT NULL PRIMARY KEY,
    DECLARADA TEXT NOT NULL
) STRICT;

-- Origin country code per origin text of the invoices.
CREATE TABLE ORG (
    PAI TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
    ORI TEXT NOT NULL
) STRICT;

-- Countries of the customs declaration.
CREATE TABLE PAIS (
    id TEXT NOT NULL PRIMARY KEY,
    Descripcion TEXT NOT NULL COLLATE NOCASE
) STRICT;
CREATE INDEX PAIS_Descripcion ON PAIS (Descripcion);

-- Column mappings remembered per invoice layout: the layout's normalised heading row and its
-- mapping (column and field label per entry), with the worksheet (index from 0), heading row and
-- first column (from 1) it was loaded by.
CREATE TABLE MAPEO (
    CLAVE TEXT NOT NULL PRIMARY KEY,
    MAPEO TEXT NOT NULL,
    HOJA INTEGER,
    FILA INTEGER,
    COLUMNA INTEGER
) STRICT;

-- Who changed what: one row per changed column of an article (HISORD its row order), and one row
-- per process run or transfer of the shipment (HISORD null, HISCOL what ran, HISNUE its counts).
-- Kept for the work only: the transfer never reads it; it goes with the shipment.
CREATE TABLE HIST (
    HISID INTEGER PRIMARY KEY,
    INTNRO TEXT NOT NULL,
    HISORD INTEGER,
    HISCOL TEXT NOT NULL,
    HISANT TEXT,
    HISNUE TEXT,
    HISORI TEXT NOT NULL,
    HISUSR TEXT NOT NULL,
    HISPUE TEXT NOT NULL,
    HISFEC TEXT NOT NULL
) STRICT;
CREATE INDEX HIST_INTNRO ON HIST (INTNRO, HISORD);
