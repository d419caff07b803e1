INSERT INTO unidades (id, descripcion) VALUES
 ('01','KILOGRAMO'),('02','METROS'),('03','METRO CUADRADO'),('04','METRO CUBICO'),('05','LITROS'),
 ('06','1000 KILOWATT HORA'),('07','UNIDAD'),('08','PAR'),('09','DOCENA'),('10','QUILATE'),
 ('11','MILLAR'),('14','GRAMO'),('15','MILIMETRO'),('17','KILOMETRO'),('18','CENTIMETRO'),
 ('20','JUEGO'),('22','CAJA');

INSERT INTO catalogo (idcatalogo, descripcion) VALUES
 ('001','FERRETERIA DEL SUR S.A.'),('002','ELECTRO IMPORT S.R.L.'),('010','CALZADOS ANDINOS S.A.');

-- Catalogue 001: every article exercises one path of the automatic process.
INSERT INTO catarticulos (idcatalogo, idarticulo, descripcion, idpais, cantidad, preciounitario, ncm, lapi,
                          sufijos, idunidad, estadistica, valorrelacionestadistica, estadomerc, deresp,
                          valorderesp, descripcion_maria, usuario, fecha) VALUES
 -- found, position and suffixes valid
 ('001','MT-500','MARTILLO CARPINTERO 500G','310',0,4.25,'8205.20.00.000K','','AA(STANLEY)-AB(MT 500)-JD01','07','07',NULL,'1','',NULL,'MARTILLO DE ACERO CON MANGO DE MADERA','demo','2026-11-02 10:15:00'),
 ('001','DS-PH2','DESTORNILLADOR PHILLIPS PH2','310',0,1.10,'8205.40.00.000X','','AA(STANLEY)-AB(DS PH2)-JD02','07','07',NULL,'1','',NULL,'DESTORNILLADOR PUNTA PHILLIPS','demo','2026-11-02 10:15:00'),
 ('001','TL-13','TALADRO PERCUTOR 13MM 750W','310',0,38.00,'8467.21.00.100A','','AA(BOSCH)-AB(TL 13)-ZA(000750)','07','07',NULL,'1','',NULL,'TALADRO ELECTRICO PERCUTOR','demo','2026-11-02 10:15:00'),
 ('001','ZP-42','ZAPATO DE SEGURIDAD T42','203',0,21.50,'6403.99.90.000X','','AA(PAMPERO)-AB(ZP 42)-AI(42)','08','08',NULL,'1','08',NULL,'CALZADO DE SEGURIDAD CON PUNTERA','demo','2026-11-02 10:15:00'),
 ('001','CB-2X15','CABLE BIPOLAR 2X1.5MM ROLLO 100M','203',0,55.00,'8544.49.00.900Z','','AA(PRYSMIAN)-AB(CB 2X15)','02','02',NULL,'1','',NULL,'CONDUCTOR ELECTRICO AISLADO','demo','2026-11-02 10:15:00'),
 -- found, position not in the nomenclator
 ('001','LL-10','LLAVE AJUSTABLE 10 PULGADAS','310',0,6.80,'8204.11.99.999Z','','AA(STANLEY)-AB(LL 10)','07','07',NULL,'1','',NULL,'LLAVE DE AJUSTE MANUAL','demo','2026-11-02 10:15:00'),
 -- found, suffixes not valid for the position (the handle option is missing)
 ('001','MT-300','MARTILLO BOLITA 300G','310',0,3.90,'8205.20.00.000K','','AA(STANLEY)-AB(MT 300)','07','07',NULL,'1','',NULL,'MARTILLO DE ACERO','demo','2026-11-02 10:15:00'),
 -- found, malformed position
 ('001','SR-01','SIERRA MANUAL','310',0,9.00,'8202.10','','AA(STANLEY)','07','07',NULL,'1','',NULL,'SIERRA DE MANO','demo','2026-11-02 10:15:00'),
 -- found, no goods state and no suffixes in the catalogue; the nomenclator decides the LAPI mark
 ('001','AM-DIG','MULTIMETRO DIGITAL','',0,15.00,'9030.31.00.000H','',NULL,'07','07',NULL,'','',NULL,'','demo','2026-11-02 10:15:00'),
 ('002','TV-55','TELEVISOR LED 55','320',0,420.00,'8528.72.00.100M','S','AA(NOBLEX)-AB(TV 55)','07','07',NULL,'1','',NULL,'APARATO RECEPTOR DE TELEVISION','demo','2026-11-02 10:15:00');
