#pragma once
// Turns a stream of received bytes into terminal text. The character set is
// the locale's (UTF-8 as a rule); the decoder keeps its state between blocks,
// so a character split over two blocks shows once. Undecodable bytes become
// U+FFFD. CR, LF and CR LF each become one '\n', also when the CR and the LF
// arrive in different blocks. NUL bytes show as nothing; what follows them
// is kept.

#include <QStringDecoder>

#include <cstddef>
#include <vector>

class TextDecoder {
public:
    // The locale's character set.
    TextDecoder();
    explicit TextDecoder(QStringConverter::Encoding encoding);

    // Appends the decoded text of n bytes to out.
    void Decode(const char* data, std::size_t n, std::vector<char16_t>& out);
    // Forgets a half-received character and a pending CR.
    void Reset();

private:
    QStringConverter::Encoding m_encoding;
    QStringDecoder m_decoder;
    bool m_bAfterCR = false;
};
