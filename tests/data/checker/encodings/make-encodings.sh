#!/usr/bin/env bash
# Writes source.xml (UTF-8) in every encoding the checker reads, with iconv rather than our own
# encoder, so that the fixtures do not depend on the code they test.
set -euo pipefail
cd "$(dirname "$0")"
cp source.xml utf8.xml
{ printf '\xef\xbb\xbf'; cat source.xml; } > utf8-bom.xml
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE source.xml; } > utf16le.xml
{ printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE source.xml; } > utf16be.xml
iconv -f UTF-8 -t WINDOWS-1252 source.xml > windows-1252.xml
# The same text with CR LF line ends, as Windows editors write it.
sed 's/$/\r/' source.xml > utf8-crlf.xml
# Files that declare their real encoding: the declaration plays no part, so the verdict is the same.
sed '1s/.*/<?xml version="1.0" encoding="windows-1252"?>/' source.xml | iconv -f UTF-8 -t WINDOWS-1252 > declared-windows-1252.xml
{ printf '\xff\xfe'; sed '1s/.*/<?xml version="1.0" encoding="UTF-16"?>/' source.xml | iconv -f UTF-8 -t UTF-16LE; } > declared-utf16le.xml
