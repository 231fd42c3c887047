-- Database roles of a PostgreSQL installation, applied by psql to the
-- database that holds the schema (run again after schema changes; it is
-- idempotent and narrows the roles to exactly what is listed here):
--
--   ORE_SERVER_PASSWORD=... ORE_LOOKUP_PASSWORD=... \
--     psql -X -v ON_ERROR_STOP=1 -f db/roles_postgresql.sql "host=... dbname=..."
--
-- ore_server  the order application server: reads the lookups, reads and
--             writes the order tables, operators and sessions; history is
--             only read and appended to, never updated or deleted.
-- ore_lookup  the desktop's lookup queries: reads the lookup tables only.
--
-- The passwords come from the caller's environment (never from this file);
-- an unset variable leaves that role's password as it was.

\getenv server_password ORE_SERVER_PASSWORD
\getenv lookup_password ORE_LOOKUP_PASSWORD

BEGIN;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ore_server') THEN
        CREATE ROLE ore_server;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ore_lookup') THEN
        CREATE ROLE ore_lookup;
    END IF;
END
$$;

ALTER ROLE ore_server LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS;
ALTER ROLE ore_lookup LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS;

\if :{?server_password}
ALTER ROLE ore_server PASSWORD :'server_password';
\endif
\if :{?lookup_password}
ALTER ROLE ore_lookup PASSWORD :'lookup_password';
\endif

-- Start from nothing, so that a grant dropped here is dropped in the
-- database too.
REVOKE ALL ON ALL TABLES IN SCHEMA public FROM ore_server, ore_lookup;
REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM ore_server, ore_lookup;
REVOKE CREATE ON SCHEMA public FROM ore_server, ore_lookup;
GRANT USAGE ON SCHEMA public TO ore_server, ore_lookup;

-- Lookups: what the desktop's queries read.
GRANT SELECT ON FILIAL, JUSTEXCHIS, VENDEDOR, CLIENTE, ENDECLIE, MUNICIPIO, PAIS
    TO ore_lookup, ore_server;

-- What the server reads besides the lookups.
GRANT SELECT ON PRECOBASE, PRODUTO TO ore_server;

-- Orders and what their approval generated.
GRANT SELECT, INSERT, UPDATE, DELETE
    ON ORCAEVENTO, ITORCAEVEN, OBSJUSTORC, PEDIDO, ORDEMPROD, CONTARECEBER
    TO ore_server;

-- Operators, their branches and their sessions (sign-on counts failures and
-- ends sessions).
GRANT SELECT, INSERT, UPDATE, DELETE ON OPERADOR, OPERFILIAL, SESSAOOPER TO ore_server;

-- History is append-only for the server.
GRANT SELECT, INSERT
    ON HISTCANCAPROV, HISTCONTARECEBER, HISTPEDIDO, HISTORCAEVENTO, HISTITORCAEVEN,
       HISTOBSJUSTORC
    TO ore_server;

COMMIT;
