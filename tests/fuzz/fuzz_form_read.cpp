// Reading a form file never fails on arbitrary bytes, whole or by its picture's
// header alone; a form it accepts keeps the limits, and writing it and reading
// that back gives the same form.
#include "forms/formfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<Forms::Form> form = Forms::FormFile::read(bytes, &error);
    // Listing reads the picture's header alone: it takes every form read whole.
    QString listError;
    const std::optional<Forms::Form> listed = Forms::FormFile::read(bytes, &listError, false);
    FUZZ_CHECK(!form || listed, "read whole but refused by its header: %s", qPrintable(listError));
    FUZZ_CHECK(listed || !listError.isEmpty(), "refused by its header without a reason");
    if (!form) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    using Forms::Form;
    FUZZ_CHECK(!form->name.trimmed().isEmpty(), "a form without a name");
    FUZZ_CHECK(form->paper.width() >= Form::MinPaper && form->paper.width() <= Form::MaxPaper &&
                   form->paper.height() >= Form::MinPaper && form->paper.height() <= Form::MaxPaper,
               "paper %f x %f", form->paper.width(), form->paper.height());
    FUZZ_CHECK(form->fields.size() <= size_t(Form::MaxFields), "%zu fields", form->fields.size());
    FUZZ_CHECK(form->picture.size() <= Form::MaxPictureBytes, "picture of %lld bytes",
               static_cast<long long>(form->picture.size()));
    for (const Forms::FormField &field : form->fields) {
        FUZZ_CHECK(field.box.width() > 0 && field.box.height() > 0, "an empty box");
        FUZZ_CHECK(field.pointSize >= Form::MinPointSize && field.pointSize <= Form::MaxPointSize, "size %f",
                   field.pointSize);
    }

    QString writeError;
    const QByteArray written = Forms::FormFile::write(*form, &writeError);
    FUZZ_CHECK(!written.isEmpty(), "not written: %s", qPrintable(writeError));
    const std::optional<Forms::Form> again = Forms::FormFile::read(written, &error);
    FUZZ_CHECK(again.has_value(), "its own file refused: %s", qPrintable(error));
    FUZZ_CHECK(*again == *form, "the form changed on the way through its file");
    return 0;
}
