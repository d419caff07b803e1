-- Calvera's shipments database (entity INTERNOS), with the catalogue tables.
CREATE TABLE unidades (
    id TEXT NOT NULL PRIMARY KEY,
    descripcion TEXT NOT NULL
);

CREATE TABLE catalogo (
    idcatalogo TEXT NOT NULL PRIMARY KEY,
    descripcion TEXT NOT NULL
);

CREATE TABLE catarticulos (
    idcatalogo TEXT NOT NULL,
    idarticulo TEXT NOT NULL,
    descripcion TEXT,
    idpais TEXT,
    cantidad REAL,
    preciounitario REAL,
    ncm TEXT,
    lapi TEXT,
    sufijos TEXT,
    idunidad TEXT,
    estadistica TEXT,
    valorrelacionestadistica REAL,
    estadomerc TEXT,
    deresp TEXT,
    valorderesp REAL,
    descripcion_maria TEXT,
    usuario TEXT,
    fecha TEXT,
    PRIMARY KEY (idcatalogo, idarticulo)
);

CREATE TABLE caratula (
    interno TEXT NOT NULL PRIMARY KEY,
    fecha TEXT,
    observaciones TEXT
);

CREATE TABLE subitems (
    id INTEGER PRIMARY KEY,
    idarticulo TEXT,
    idcatalogo TEXT,
    descripcion TEXT,
    Descripcion_Maria TEXT,
    interno TEXT NOT NULL,
    ncm TEXT,
    IdUnidad TEXT,
    Cantidad REAL,
    Preciounitario REAL,
    IdPais TEXT,
    KGNETO REAL,
    fob REAL,
    EstadoMerc TEXT,
    estadistica TEXT,
    valorrelacionestadistica REAL,
    sufijos TEXT,
    LAPI TEXT,
    valorderesp REAL,
    kgbruto REAL,
    biendeuso TEXT,
    deresp TEXT
);
CREATE INDEX subitems_interno ON subitems (interno);

CREATE TABLE facturas (
    id INTEGER PRIMARY KEY,
    interno TEXT NOT NULL,
    nrofactura TEXT,
    fecha TEXT,
    importe REAL
);
CREATE INDEX facturas_interno ON facturas (interno);
