// buildImage, loadImage and hasRelay2Commands over a program file (see
// ImageCompiler.h); the byte rules themselves live in CommandImage.cpp.
#include "ImageCompiler.h"

#include "ProgramTables.h"
#include "ProgramTexts.h"

namespace kt64::program {

namespace {

void showDatabaseError(UserMessages& messages, const DatabaseError& e) {
    messages.show(std::string(text::kDatabaseError) + e.what(), MessageIcon::None);
}

}  // namespace

BuildOutcome buildImage(Database* db, ImageSpan image, UserMessages& messages) {
    if (!db) return {};
    try {
        const auto blocks = readBlocks(*db);
        const auto dates = readDatesByBlock(*db);
        const auto commands = readCommandsByBlock(*db);
        if (auto fault = compileImage(blocks, dates, commands, image)) return BuildOutcome{false, fault->text};
        return BuildOutcome{true, {}};
    } catch (const DatabaseError& e) {
        showDatabaseError(messages, e);
        return {};
    }
}

bool loadImage(Database* db, ConstImageSpan image, UserMessages& messages) {
    if (!db) return false;
    const DecodedImage decoded = decodeImage(image);
    try {
        // One transaction for speed; on a failure what was added so far is
        // still committed, as the records are added one by one.
        Transaction transaction(*db);
        try {
            for (const auto& b : decoded.blocks) insertBlock(*db, b);
            for (const auto& d : decoded.dates) insertDate(*db, d);
            for (const auto& c : decoded.commands) insertCommand(*db, c);
        } catch (const DatabaseError& e) {
            transaction.commit();
            showDatabaseError(messages, e);
            return false;
        }
        transaction.commit();
        return true;
    } catch (const DatabaseError& e) {
        showDatabaseError(messages, e);
        return false;
    }
}

bool hasRelay2Commands(Database* db, UserMessages& messages) {
    if (!db) return false;
    try {
        auto q = db->query("SELECT LP,NrPrzek FROM Rozkazy WHERE NrPrzek=2");
        return q.next();
    } catch (const DatabaseError& e) {
        showDatabaseError(messages, e);
        return false;
    }
}

}  // namespace kt64::program
