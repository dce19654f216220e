#pragma once

#include "PdfFixture.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Where one case runs: the folder of its run, the hostile file (a case may rename it) and the
// output folder, which exists when the case's make() runs.
struct HostileSetup {
    QString root;
    QString bad;
    QString out;
    bool goodNamedByDefault = true; // false when the case renames the good file's images and checks them itself
};

// One row of the catalogue. -1 in a count means "not checked".
struct HostileCase {
    std::string name;
    std::function<void(HostileSetup &)> make;
    QStringList extraArgs; // for --extract
    int listStatus = 0;
    int listed = -1; // image lines of --list
    int extractStatus = 0;
    int written = -1; // files in the output folder besides the good file's
    std::function<void(const HostileSetup &)> check;
    QString said = {}; // a text both runs write on standard error, when not empty
};

constexpr int kGoodImages = 3;
// Of one run: a hang runs into it.
constexpr int kCaseTimeLimitMs = 60000;

// The good file of every run, with kGoodImages images named good_000 ...
void writeGoodFile(const QString &path);
// Checks one exported image of the good file against its pixels.
void expectGoodImage(const QString &path, int index);

std::vector<HostileCase> hostileCases();

inline void PrintTo(const HostileCase &c, std::ostream *os)
{
    *os << c.name;
}
