#!/bin/sh
# Rebuilds the ready profile's photo library: iphone-current/afc/PhotoData/Photos.sqlite in the shape of iOS 16
# (assets in ZASSET, albums joined through Z_28ASSETS) naming the four photos in afc/DCIM, two user albums, the
# camera album, a favorite, a screenshot and a photo in the trash, and a 5003.JPG thumbnail for every photo under
# PhotoData/Thumbnails/V2/<photo path>/. Needs sqlite3, convert (PNG to PPM) and cjpeg.
# Usage: make_photo_library.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)
afc="$here/iphone-current/afc"
data="$afc/PhotoData"
rm -rf "$data"
mkdir -p "$data"

size() { wc -c < "$afc/$1" | tr -d ' '; }

# Dates are seconds since 2001-01-01, as the device stores them. Attribute rows have keys of their own, as on the
# device, so that each asset names its row.
sqlite3 "$data/Photos.sqlite" <<SQL
CREATE TABLE ZASSET ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZAVALANCHEPICKTYPE INTEGER,
  ZFAVORITE INTEGER, ZHIDDEN INTEGER, ZKIND INTEGER, ZKINDSUBTYPE INTEGER, ZORIENTATION INTEGER,
  ZPLAYBACKSTYLE INTEGER, ZSAVEDASSETTYPE INTEGER, ZTRASHEDSTATE INTEGER, ZADDITIONALATTRIBUTES INTEGER,
  ZDATECREATED TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZTRASHEDDATE TIMESTAMP, ZDIRECTORY VARCHAR,
  ZFILENAME VARCHAR, ZUUID VARCHAR );
CREATE TABLE ZADDITIONALASSETATTRIBUTES ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZORIGINALFILESIZE INTEGER, ZORIGINALHEIGHT INTEGER, ZORIGINALWIDTH INTEGER, ZASSET INTEGER,
  ZORIGINALFILENAME VARCHAR );
CREATE TABLE ZGENERICALBUM ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCACHEDCOUNT INTEGER,
  ZKIND INTEGER, ZTRASHEDSTATE INTEGER, ZTITLE VARCHAR, ZUUID VARCHAR );
CREATE TABLE Z_3MEMORIESBEINGCURATEDASSETS ( Z_3MEMORIESBEINGCURATEDASSETS INTEGER, Z_42CURATEDASSETS INTEGER );
CREATE TABLE Z_28ASSETS ( Z_28ALBUMS INTEGER, Z_3ASSETS INTEGER, Z_FOK_3ASSETS INTEGER,
  PRIMARY KEY (Z_28ALBUMS, Z_3ASSETS) );
INSERT INTO ZASSET VALUES
  (1, 3, 1, 0, 0, 0, 0, 0, 1, 1, 3, 0, 11, 707000000.25, 707000100, NULL, 'DCIM/100APPLE', 'IMG_0001.PNG', 'A1'),
  (2, 3, 1, 0, 1, 0, 0, 0, 1, 1, 3, 0, 12, 707100000.5, 707100100, NULL, 'DCIM/100APPLE', 'IMG_0002.PNG', 'A2'),
  (3, 3, 1, 0, 0, 0, 0, 0, 1, 1, 3, 1, 13, 707200000, 707200100, 707300000, 'DCIM/100APPLE', 'IMG_0003.PNG', 'A3'),
  (4, 3, 1, 0, 0, 0, 0, 10, 1, 1, 256, 0, 14, 707400000, 707400100, NULL, 'DCIM/101APPLE', 'IMG_0104.PNG', 'A4');
INSERT INTO ZADDITIONALASSETATTRIBUTES VALUES
  (11, 1, 1, $(size DCIM/100APPLE/IMG_0001.PNG), 64, 64, 1, 'IMG_0001.PNG'),
  (12, 1, 1, $(size DCIM/100APPLE/IMG_0002.PNG), 64, 64, 2, 'IMG_0002.PNG'),
  (13, 1, 1, $(size DCIM/100APPLE/IMG_0003.PNG), 64, 64, 3, 'IMG_0003.PNG'),
  (14, 1, 1, -1, 64, 64, 4, 'IMG_0104.PNG');
INSERT INTO ZGENERICALBUM VALUES
  (1, 2, 1, 0, 3999, 0, NULL, 'root'),
  (2, 2, 1, 4, 1000, 0, 'Camera', 'camera'),
  (3, 2, 1, 2, 2, 0, 'Harbour', 'harbour'),
  (4, 2, 1, 1, 2, 0, 'Screens', 'screens');
INSERT INTO Z_28ASSETS VALUES (2, 1, 1), (2, 2, 2), (2, 3, 3), (2, 4, 4), (3, 1, 1), (3, 2, 2), (4, 4, 1);
SQL

for photo in DCIM/100APPLE/IMG_0001.PNG DCIM/100APPLE/IMG_0002.PNG DCIM/100APPLE/IMG_0003.PNG \
             DCIM/101APPLE/IMG_0104.PNG; do
  mkdir -p "$data/Thumbnails/V2/$photo"
  convert "$afc/$photo" ppm:- | cjpeg -quality 80 > "$data/Thumbnails/V2/$photo/5003.JPG"
done
