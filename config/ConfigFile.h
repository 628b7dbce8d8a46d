#pragma once

#include "ConfigRecord.h"

#include <QByteArray>
#include <QString>

/// The configuration file qzp.cfg: the record's ten fields in declaration
/// order, packed without header or padding. Texts are a 16-bit little-endian
/// byte count followed by that many Windows-1252 bytes; integers are 16-bit
/// little-endian two's complement; arrays are their elements in index order;
/// the station parameters run with the parameter index fastest, so element
/// (p, s) is 16-bit value number s * 11 + p of that field.
namespace ConfigFile {

/// Bytes of an empty record (all texts empty, all numbers 0).
constexpr int kFixedBytes = 970;

/// programDir + "/qzp.cfg".
QString configPath(const QString& programDir);

/// The file image of a record. Texts longer than 65535 bytes after conversion
/// are cut to 65535 bytes, the most the count can say.
QByteArray encode(const ConfigRecord& record);

/// Reads a record from the start of data. Never fails and never reads past
/// the end: where the data ends or a text's count runs past the end, that
/// field and all after it stay empty / 0. Bytes after the last field are
/// ignored, so a file rewritten by a shorter record still reads correctly.
ConfigRecord decode(const QByteArray& data);

/// True when a file (not a directory) exists at path.
bool exists(const QString& path);

/// Reads the record from path into *out. Returns false with *error set when
/// the file is missing or cannot be read; *out is then left untouched, and
/// whether to fall back to ConfigRecord::defaults() is the caller's choice.
bool readFile(const QString& path, ConfigRecord* out, QString* error);

/// The group the package gives qzp.cfg to: its members alone may read the file.
inline constexpr char kOperatorsGroup[] = "qzoperators";

/// True when a file exists at path that this account's permissions do not let
/// it read: a failed readFile() that only the installer can put right.
bool readDenied(const QString& path);

/// Writes the record to path through a temporary file in the same directory
/// that replaces the old file only once complete, so a crash mid-write leaves
/// the previous configuration in place. Returns false with *error set (the old
/// file untouched) when it cannot be written.
bool writeFile(const QString& path, const ConfigRecord& record, QString* error);

} // namespace ConfigFile
