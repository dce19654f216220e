#pragma once

// Hostile files written by hand: object by object as text, or a fixture's file cut and changed.

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

namespace fixture {

// A stream object's text: its dictionary entries with /Length added.
std::string streamObject(const std::string &dictionary, const std::string &data);
// A 2 x 2 gray image stream's text.
std::string grayImageObject();
// A file of these objects as given (a number given twice is found by its table at its first
// place), object 1 the catalog; the table points object `misplaced` at no object at all.
std::string rawPdf(const std::vector<std::pair<int, std::string>> &objects, int misplaced = 0);
// One page under `levels` page tree nodes, drawing `content` with these resources; the objects
// given (3 to 9) come first.
std::string rawPage(const std::string &content, const std::string &resources, int levels = 0,
                    std::vector<std::pair<int, std::string>> objects = {});
// Pages of one 7 x 9 gray image each (63 sample bytes, a /Length no other stream has), the
// images told apart by their samples.
std::string sevenByNine(int pages = 1);
// `pdf` with `from` replaced by `to` at its first place (which must exist).
std::string replaced(std::string pdf, const std::string &from, const std::string &to);
// A JBIG2 page of this size holding these region segments.
std::string jbig2Page(int width, int height, const QByteArray &regions = {});

} // namespace fixture
