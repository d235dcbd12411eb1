#pragma once

#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// `text` with the characters HTML gives a meaning (& < > " ') written as entities.
std::string EscapeHtml(const std::string& text);

// A plain, self-contained HTML page built from headings, paragraphs, pictures and tables,
// with a little inline style. It remembers every picture it names, so that the caller can
// check that they were all written.
class HtmlPage {
public:
    explicit HtmlPage(const std::string& title);

    void Heading(const std::string& text);
    void Paragraph(const std::string& text);  // escaped
    // A picture, shown at most `width` pixels wide (0: its own width), linked to itself.
    void Picture(const std::string& source, const std::string& alt, int width = 0);
    // A cell of Table holding a linked thumbnail; a plain text cell is EscapeHtml(text).
    std::string PictureCell(const std::string& source, const std::string& alt, int width);
    // Cells are HTML already; numbers and EscapeHtml'd text go as they are.
    void Table(const std::vector<std::string>& header,
               const std::vector<std::vector<std::string>>& rows);
    void Link(const std::string& target, const std::string& text);

    // The whole page.
    std::string Text() const;
    // The pictures named, in order of appearance.
    const std::vector<std::string>& Pictures() const { return _pictures; }

private:
    std::string _title;
    std::string _body;
    std::vector<std::string> _pictures;
};

}  // namespace Varnik::Soloma::Cli
