#include "HtmlPage.h"

namespace Varnik::Soloma::Cli {

std::string EscapeHtml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

HtmlPage::HtmlPage(const std::string& title) : _title(title) {}

void HtmlPage::Heading(const std::string& text) {
    _body += "<h2>" + EscapeHtml(text) + "</h2>\n";
}

void HtmlPage::Paragraph(const std::string& text) {
    _body += "<p>" + EscapeHtml(text) + "</p>\n";
}

void HtmlPage::Picture(const std::string& source, const std::string& alt, int width) {
    _body += "<p>" + PictureCell(source, alt, width) + "</p>\n";
}

std::string HtmlPage::PictureCell(const std::string& source, const std::string& alt, int width) {
    _pictures.push_back(source);
    const std::string src = EscapeHtml(source);
    std::string html =
        "<a href=\"" + src + "\"><img src=\"" + src + "\" alt=\"" + EscapeHtml(alt) + "\"";
    if (width > 0) {
        html += " style=\"max-width:" + std::to_string(width) + "px\"";
    }
    return html + "></a>";
}

void HtmlPage::Table(const std::vector<std::string>& header,
                     const std::vector<std::vector<std::string>>& rows) {
    _body += "<table>\n<tr>";
    for (const std::string& cell : header) {
        _body += "<th>" + EscapeHtml(cell) + "</th>";
    }
    _body += "</tr>\n";
    for (const auto& row : rows) {
        _body += "<tr>";
        for (const std::string& cell : row) {
            _body += "<td>" + cell + "</td>";
        }
        _body += "</tr>\n";
    }
    _body += "</table>\n";
}

void HtmlPage::Link(const std::string& target, const std::string& text) {
    _body += "<p><a href=\"" + EscapeHtml(target) + "\">" + EscapeHtml(text) + "</a></p>\n";
}

std::string HtmlPage::Text() const {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           EscapeHtml(_title) +
           "</title>\n<style>\n"
           "body { font-family: sans-serif; background: #202020; color: #e6e6e6; margin: 2em; }\n"
           "a { color: #8cc8ff; }\n"
           "img { max-width: 100%; height: auto; border: 0; }\n"
           "table { border-collapse: collapse; margin: 1em 0; }\n"
           "th, td { border: 1px solid #555; padding: 0.2em 0.6em; text-align: right; }\n"
           "th { background: #333; }\n"
           "</style>\n</head>\n<body>\n<h1>" +
           EscapeHtml(_title) + "</h1>\n" + _body + "</body>\n</html>\n";
}

}  // namespace Varnik::Soloma::Cli
