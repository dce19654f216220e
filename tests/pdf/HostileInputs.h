#pragma once

#include "PdfFixture.h"

#include <QImage>
#include <QList>

#include <functional>
#include <string>
#include <vector>

// Hostile files that the library reads alone: read in-process by HostileInputTest, measured
// through the program by hostile_memory_bench.
struct HostileInput {
    std::string name;
    int images;                                                 // found and built
    std::function<fixture::Obj(fixture::PdfFixture &)> image;   // the one image of the file's one page
    std::function<std::string()> file = nullptr;                // else the whole file
    std::function<void(const QList<QImage> &)> check = nullptr; // of the pictures, in walk order
};

std::vector<HostileInput> hostileInputs();
std::string fileOf(const HostileInput &input);
