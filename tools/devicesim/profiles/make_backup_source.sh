#!/bin/sh
# Rebuilds iphone-current/backup/, the ready profile's backup source: the real message and contact databases
# from the shared fixtures (with their write-ahead logs) and small generated databases for notes, voice
# recordings and a chat app, each where a device keeps it.
# Usage: make_backup_source.sh FIXTURES_DIR   (the real-ios fixtures folder with its licence notice)
set -eu
fixtures=${1:?usage: make_backup_source.sh FIXTURES_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/iphone-current/backup"
rm -rf "$out"
home="$out/HomeDomain"
media="$out/MediaDomain"
notes_group="$out/AppDomainGroup-group.com.apple.notes"
chat_group="$out/AppDomainGroup-group.net.whatsapp.WhatsApp.shared"
mkdir -p "$home/Library/SMS" "$home/Library/AddressBook" "$home/Library/Notes" "$media/Library/Recordings" \
         "$notes_group" "$chat_group/Message/Media"

cp "$fixtures"/sms/ios-14.1/sms.db* "$home/Library/SMS/"
cp "$fixtures"/address-book/ios-13.4.1/AddressBook.sqlitedb* "$home/Library/AddressBook/"
cp "$fixtures/LICENSE-DFIRArtifactMuseum" "$here/iphone-current/LICENSE-DFIRArtifactMuseum"
chmod u+w "$home"/Library/*/* "$here/iphone-current/LICENSE-DFIRArtifactMuseum"

# Dates are seconds since 2001-01-01, as the device stores them.
sqlite3 "$home/Library/Notes/notes.sqlite" <<'SQL'
CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZTITLE VARCHAR, ZSUMMARY VARCHAR, ZCREATIONDATE TIMESTAMP,
                    ZMODIFICATIONDATE TIMESTAMP, ZBODY INTEGER);
CREATE TABLE ZNOTEBODY (Z_PK INTEGER PRIMARY KEY, ZOWNER INTEGER, ZCONTENT VARCHAR);
INSERT INTO ZNOTE VALUES (1, 'Harbour list', 'Rope, fenders', 700000000, 700003600, 1);
INSERT INTO ZNOTEBODY VALUES (1, 1, '<div>Rope, fenders, chart of the bay</div>');
SQL
sqlite3 "$notes_group/NoteStore.sqlite" <<'SQL'
CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, ZTITLE1 VARCHAR, ZSNIPPET VARCHAR,
                                    ZCREATIONDATE1 TIMESTAMP, ZMODIFICATIONDATE1 TIMESTAMP, ZNOTEDATA INTEGER);
CREATE TABLE ZICNOTEDATA (Z_PK INTEGER PRIMARY KEY, ZNOTE INTEGER, ZDATA BLOB);
INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (1, 'Tide times', 'High water 06:12', 702000000, 702000600, 1);
INSERT INTO ZICNOTEDATA VALUES (1, 1, x'1f8b0800000000000003');
SQL
sqlite3 "$media/Library/Recordings/Recordings.db" <<'SQL'
CREATE TABLE ZRECORDING (Z_PK INTEGER PRIMARY KEY, ZDURATION FLOAT, ZPATH VARCHAR, ZCUSTOMLABEL VARCHAR,
                         ZDATE TIMESTAMP);
INSERT INTO ZRECORDING VALUES (1, 12.5, '/Recordings/20230601 101500.m4a', 'Harbour wind', 707306100);
SQL
sqlite3 "$media/Library/Recordings/CloudRecordings.db" <<'SQL'
CREATE TABLE ZCLOUDRECORDING (Z_PK INTEGER PRIMARY KEY, ZDURATION FLOAT, ZPATH VARCHAR, ZCUSTOMLABEL VARCHAR,
                              ZDATE TIMESTAMP);
INSERT INTO ZCLOUDRECORDING VALUES (1, 4.0, '/Recordings/20230715 083000.m4a', 'Gulls', 711181800);
SQL
cat > "$media/Library/Recordings/AssetManifest.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>20230601 101500.m4a</key>
	<dict><key>name</key><string>Harbour wind</string></dict>
	<key>20230715 083000.m4a</key>
	<dict><key>name</key><string>Gulls</string></dict>
</dict>
</plist>
PLIST
# Stand-ins for the audio: an MPEG-4 file-type box and a few bytes, enough for a reader to see a file.
for name in "20230601 101500.m4a" "20230715 083000.m4a"; do
  printf '\000\000\000\030ftypM4A \000\000\000\000M4A isom%s' "$name" > "$media/Library/Recordings/$name"
done
sqlite3 "$chat_group/ChatStorage.sqlite" <<'SQL'
CREATE TABLE ZWACHATSESSION (Z_PK INTEGER PRIMARY KEY, ZCONTACTJID VARCHAR, ZPARTNERNAME VARCHAR,
                             ZLASTMESSAGEDATE TIMESTAMP);
CREATE TABLE ZWAMESSAGE (Z_PK INTEGER PRIMARY KEY, ZCHATSESSION INTEGER, ZISFROMME INTEGER, ZTEXT VARCHAR,
                         ZMESSAGEDATE TIMESTAMP, ZMEDIAITEM INTEGER);
CREATE TABLE ZWAMEDIAITEM (Z_PK INTEGER PRIMARY KEY, ZMESSAGE INTEGER, ZMEDIALOCALPATH VARCHAR);
INSERT INTO ZWACHATSESSION VALUES (1, '15550100@s.whatsapp.net', 'Harbour Master', 708000300);
INSERT INTO ZWAMESSAGE VALUES (1, 1, 0, 'Berth 4 is free', 708000000, NULL);
INSERT INTO ZWAMESSAGE VALUES (2, 1, 1, 'Thanks, arriving at noon', 708000300, 1);
INSERT INTO ZWAMEDIAITEM VALUES (1, 2, 'Message/Media/berth.jpg');
SQL
printf '\377\330\377\340 a small picture stand-in' > "$chat_group/Message/Media/berth.jpg"
