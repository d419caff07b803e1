#pragma once

#include "PdfTable.h"

#include <QByteArray>
#include <QString>
#include <stdexcept>
#include <vector>

// What planexo-pdftext prints about a PDF, read strictly: any line out of place makes the whole
// output invalid, so that a helper gone wrong can only end in a message.
namespace pdf {

constexpr const char *ProtocolHeader = "planexo-pdftext 1";
// Larger outputs are refused.
constexpr int MaxPages = 20000;
constexpr size_t MaxWords = 2'000'000;
constexpr size_t MaxWordBytes = 4096;

struct HelperOutput {
    enum class Kind { Pages, Locked, Damaged } kind = Kind::Pages;
    int declaredPages = 0;
    std::vector<Page> pages;
};

struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The output, whole; throws ProtocolError naming the first fault.
HelperOutput parseHelperOutput(const QByteArray &output);

} // namespace pdf
