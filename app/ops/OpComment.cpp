#include "app/ops/OpComment.h"

#include "app/common/QtStrings.h"
#include "app/ops/OpRun.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/formats/zip/krvZip.h"
#include "platform/CodePages.h"

#include <exception>

TCommentEdit::TCommentEdit(TOpObserver& Observer) : TCommentEdit(Observer, std::make_unique<TZip>()) {}

TCommentEdit::TCommentEdit(TOpObserver& Observer, std::unique_ptr<TZip> Zip)
    : FZip(std::move(Zip)), FRun(std::make_unique<TOpRun>(Observer, FResult)) {
    FRun->BindWriter(*FZip);
}

TCommentEdit::~TCommentEdit() = default;

namespace {

// Runs Step; an error it raised without reporting it first still counts as a failure.
template <typename TStep>
void Guarded(TOpRun& Run, TOpResult& Result, const std::string& Archive, TStep Step) {
    const int before = Run.Errors();
    try {
        Step();
    } catch (const E_RAISE& e) {
        if (Run.Errors() == before) Result.Fail(Archive, CauseOf(e.Code()), e.Code(), e.what());
    } catch (const std::exception& e) {
        Result.Fail(Archive, TOpCause::Other, ecErrorWritingToFile, e.what());
    }
    Run.Finish();
}

} // namespace

bool TCommentEdit::Open(const std::string& Archive) {
    FResult = TOpResult{};
    Guarded(*FRun, FResult, Archive, [&] {
        // The writer takes any name; only what the content shows to be a zip is opened.
        TRegisterKorva probe;
        probe.SetArchiveFile(Archive);
        if (probe.ArcType() != atZip) return;
        FZip->SetArchiveFile(Archive);
        FResult.Started = true;
        FZip->OpenComments();
    });
    return FResult.Started && FResult.Failures.empty();
}

QString TCommentEdit::Text() const {
    const std::vector<std::uint8_t>& bytes = FZip->GetArchiveComment();
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Str(IsValidUtf8(text) ? std::string(text) : CodePageToUtf8(text, TCodePage::Oem));
}

const TOpResult& TCommentEdit::Save() {
    FResult = TOpResult{};
    FResult.Started = true;
    if (!FZip->CommentsChanged()) return FResult;
    const std::string archive = FZip->ArchiveFile();
    bool saved = false;
    Guarded(*FRun, FResult, archive, [&] { saved = FZip->SaveComments(); });
    // Declined without an error (a cancel): nothing was written.
    if (!saved && FResult.Failures.empty()) FResult.Cancelled = true;
    if (saved) FResult.Done = 1;
    return FResult;
}

QString CommentFailureText(const TOpFailure& Failure, bool Saving) {
    QString text = (Saving ? QStringLiteral("Error saving the archive comment.")
                           : QStringLiteral("Error reading the archive comment.")) +
                   QStringLiteral("\rFilename: ") + Str(Failure.Entry) + QStringLiteral("\rError: ") +
                   QString::number(Failure.ECode) + QStringLiteral("\r") +
                   QString::fromLatin1(ErrorText(Failure.ECode));
    if (!Failure.Detail.empty()) text += QStringLiteral("\r") + Str(Failure.Detail);
    return text;
}
