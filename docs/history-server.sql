-- The event history server that the desks of one site share (PostgreSQL 15 or later).
--
-- For a database administrator who creates the tables rather than let the first desk do it.
-- Run as the database's owner, in the database the desks will use:
--
--   createdb --encoding=UTF8 qzhistory
--   psql --dbname=qzhistory --set=ON_ERROR_STOP=1 --file=history-server.sql
--
-- then give each desk a login of its own in the group role qz_desk made below:
--
--   CREATE ROLE desk_reception LOGIN PASSWORD 'a long random password' IN ROLE qz_desk;
--
-- A desk whose role may create tables in the database (its owner, for instance) makes the tables
-- itself on first use, with the statements of the first part of this file; it never makes roles.

-- Tables (the console runs this part as it stands; keep one statement per ";").

CREATE TABLE schema_version (version integer NOT NULL);
INSERT INTO schema_version (version) VALUES (1);

-- Every desk's events. The words in kind and outcome are those of the desks' own history
-- ("incoming call", "answered elsewhere", ...); local_id is the event's id at its desk, uuid its id
-- everywhere; revision counts the desk's updates of the event, so that an older copy never
-- replaces a newer one. id follows the order of arrival.
CREATE TABLE events (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    uuid uuid NOT NULL UNIQUE,
    desk text NOT NULL,
    local_id bigint NOT NULL,
    time_ms bigint NOT NULL,
    station integer,
    description text,
    kind text NOT NULL,
    outcome text NOT NULL,
    duration_s integer,
    caller text,
    revision integer NOT NULL
);
CREATE INDEX events_time ON events (time_ms);
CREATE INDEX events_desk_time ON events (desk, time_ms);

-- The camera pictures of an event: slot 0 at the event, slot 1 at a call's answer; JPEG as the
-- camera sent it.
CREATE TABLE pictures (
    event_id bigint NOT NULL REFERENCES events (id) ON DELETE CASCADE,
    slot smallint NOT NULL CHECK (slot IN (0, 1)),
    jpeg bytea NOT NULL,
    taken_ms bigint,
    revision integer NOT NULL,
    PRIMARY KEY (event_id, slot)
);
-- JPEG does not compress: stored as it is, without trying.
ALTER TABLE pictures ALTER COLUMN jpeg SET STORAGE EXTERNAL;

-- Rights (for the administrator only).

-- What a desk needs: read every desk's history, add and update its own events, and remove the
-- oldest (each desk applies the retention limits). Nothing else; no table of its own.
-- The pictures show visitors: other accounts of the server do not even connect.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'qz_desk') THEN
        CREATE ROLE qz_desk NOLOGIN;
    END IF;
    EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database());
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO qz_desk', current_database());
END $$;
GRANT USAGE ON SCHEMA public TO qz_desk;
GRANT SELECT ON schema_version TO qz_desk;
GRANT SELECT, INSERT, UPDATE, DELETE ON events, pictures TO qz_desk;
