-- What PostgreSQL needs beyond schema.sql, in its own dialect.

-- An observation written without its number (the default 0) gets the order's
-- next one before it is stored. The transaction lock on the order makes a
-- second writer of the same order wait for the first to finish, so both never
-- take the same number.
CREATE OR REPLACE FUNCTION FN_OBSJUSTORC_NRSEQHISTORCA() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.NRSEQHISTORCA = 0 THEN
        PERFORM pg_advisory_xact_lock(
            hashtext('OBSJUSTORC|' || NEW.CDFILIAL || '|' || NEW.NRORCAEVENTO || '|' ||
                     NEW.NRSEQORCAEVE));
        SELECT COALESCE(MAX(O.NRSEQHISTORCA), 0) + 1
          INTO NEW.NRSEQHISTORCA
          FROM OBSJUSTORC O
         WHERE O.CDFILIAL = NEW.CDFILIAL
           AND O.NRORCAEVENTO = NEW.NRORCAEVENTO
           AND O.NRSEQORCAEVE = NEW.NRSEQORCAEVE;
    END IF;
    RETURN NEW;
END
$$;

CREATE OR REPLACE TRIGGER TR_OBSJUSTORC_NRSEQHISTORCA
BEFORE INSERT ON OBSJUSTORC
FOR EACH ROW EXECUTE FUNCTION FN_OBSJUSTORC_NRSEQHISTORCA();
