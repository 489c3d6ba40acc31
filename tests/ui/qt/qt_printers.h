// How failures show Qt's texts: as text. Included by every Qt test, so that
// each program prints them one way.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{' << texts.join(QStringLiteral(", ")).toStdString() << '}';
}
