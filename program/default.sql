-- The template of a relay program ("default.mkk"): the four tables of a
-- program file, the operation names and block 1, the base block that holds
-- the commands in force on days no dated block applies to.
--
-- Dates are ISO-8601 text ('2024-05-01'), times of day 'HH:MM:SS'
-- ('07:45:00'), so ORDER BY sorts both chronologically. Yes/no columns hold
-- 0 or 1. LP counters never reuse a number (AUTOINCREMENT); because block 1
-- is the only row of Bloki here, blocks added to a new program are numbered
-- 2, 3, ...
PRAGMA encoding = 'UTF-8';

CREATE TABLE Bloki (
  LP        INTEGER PRIMARY KEY AUTOINCREMENT,
  Priorytet INTEGER DEFAULT 1,
  Opis      TEXT DEFAULT ''
);

CREATE TABLE Daty (
  LP      INTEGER PRIMARY KEY AUTOINCREMENT,
  DataOd  TEXT,
  DataDo  TEXT,
  Roczny  INTEGER DEFAULT 0,
  Opis    TEXT DEFAULT '',
  NrBloku INTEGER DEFAULT 0
);

CREATE TABLE Rozkazy (
  LP         INTEGER PRIMARY KEY AUTOINCREMENT,
  DzienTyg   INTEGER DEFAULT 127,
  Operacja   INTEGER DEFAULT 0,
  CzasRozk   TEXT DEFAULT '00:00:00',
  CzasImp    INTEGER DEFAULT 1,
  CzasImpMS  INTEGER DEFAULT 0,
  CzasCyklu  INTEGER DEFAULT 2,
  CzasCyklMS INTEGER DEFAULT 0,
  NrPrzek    INTEGER DEFAULT 1,
  Opis       TEXT DEFAULT '',
  Blok       INTEGER DEFAULT 0
);

CREATE TABLE KodOp (
  Operacja INTEGER PRIMARY KEY,
  Opis     TEXT
);

INSERT INTO KodOp (Operacja, Opis) VALUES
  (0, 'Wyłączony'),
  (1, 'Załączony'),
  (2, 'Impuls+'),
  (3, 'Impuls-'),
  (4, 'Cykl+'),
  (5, 'Cykl-');

-- Block 1 has no dates; its priority is the lowest a block can have.
INSERT INTO Bloki (LP, Priorytet, Opis) VALUES (1, 0, '');
