-- What SQLite needs beyond schema.sql, in its own dialect.

-- An observation written without its number (the default 0) gets the order's
-- next one. SQLite checks NOT NULL before any trigger and cannot change a row
-- in a BEFORE trigger, hence the default and the renumbering right after the
-- row is in; writers are serialized, so no other insert comes in between.
CREATE TRIGGER IF NOT EXISTS TR_OBSJUSTORC_NRSEQHISTORCA
AFTER INSERT ON OBSJUSTORC
FOR EACH ROW WHEN NEW.NRSEQHISTORCA = 0
BEGIN
    UPDATE OBSJUSTORC
       SET NRSEQHISTORCA = (SELECT COALESCE(MAX(O.NRSEQHISTORCA), 0) + 1
                              FROM OBSJUSTORC O
                             WHERE O.CDFILIAL = NEW.CDFILIAL
                               AND O.NRORCAEVENTO = NEW.NRORCAEVENTO
                               AND O.NRSEQORCAEVE = NEW.NRSEQORCAEVE)
     WHERE CDFILIAL = NEW.CDFILIAL
       AND NRORCAEVENTO = NEW.NRORCAEVENTO
       AND NRSEQORCAEVE = NEW.NRSEQORCAEVE
       AND NRSEQHISTORCA = 0;
END;
