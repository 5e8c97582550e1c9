// Decoding the bytes of a file and splitting its text into lines.
#include "grid/textfile.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        // What is taken for text holds no NUL and no UTF-16 byte-order mark; what is not has a
        // reason.
        const QString problem = NotTextProblem(bytes);
        if (problem.isEmpty()) {
            FUZZ_CHECK(!bytes.contains('\0'));
            FUZZ_CHECK(!bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF"));
        } else {
            FUZZ_CHECK(problem.startsWith(QLatin1String("It is ")));
        }
        const QString text = DecodeText(bytes);
        // Everything from the first NUL on is dropped; UTF-8 is taken as it is (without a
        // leading byte-order mark), anything else byte for character.
        const QByteArray kept =
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
        FUZZ_CHECK(!text.contains(QChar(0)));
        const QByteArray bom = "\xEF\xBB\xBF";
        const QByteArray utf8 = kept.startsWith(bom) ? kept.mid(3) : kept;
        FUZZ_CHECK(text.toUtf8() == utf8 || text.size() == kept.size());

        // Lines: none holds a line end outside a quoted item, and together they hold every
        // character of the text but the line ends between them.
        const QStringList lines = SplitLines(text);
        qsizetype characters = 0;
        for (const QString& line : lines) {
            characters += line.size();
            if (line.contains(u'\r') || line.contains(u'\n')) FUZZ_CHECK(line.contains(u'"'));
        }
        FUZZ_CHECK(characters <= text.size());
        FUZZ_CHECK(lines.size() <= text.size());

        // The lines written as a file and read back are the same lines (a byte-order mark at the
        // very start of the text is dropped as the file's own).
        if (text.startsWith(QChar(0xFEFF))) return;
        FUZZ_CHECK(DecodeLines(EncodeLines(lines)) == lines);
    });
}
