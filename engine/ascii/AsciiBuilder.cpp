#include "engine/ascii/AsciiBuilder.h"

#include "engine/ascii/AsciiProperties.h"
#include "engine/ascii/AsciiTable.h"
#include "engine/ascii/TextValues.h"
#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TextCodec.h"

namespace kx4::ascii {

namespace {

class AsciiBuilder : public TableBuilder {
  public:
    AsciiBuilder(const TablePath& target, const TableSchema& schema,
                 std::shared_ptr<const FormatProperties> like, FileTransaction& tx)
        : dataPath_(joinPath(target.directory, target.fileName)), tx_(tx) {
        if (!schema.indexes.empty())
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "Indexes are not supported for text tables (" + dataPath_ + ")");
        if (schema.fields.empty())
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Table " + dataPath_ + " needs at least one field");
        AsciiProperties props;
        if (const auto* p = dynamic_cast<const AsciiProperties*>(like.get())) props = *p;
        text_.section = stemOf(target.fileName);
        text_.fixed = props.fixed;
        text_.delimiter = props.delimiter;
        text_.separator = props.separator;
        text_.charset = props.charset;
        codec_ = std::make_unique<TextCodec>(codePageOfCharset(text_.charset));
        int offset = 0;
        for (const auto& def : schema.fields) {
            TextField f = textFieldFor(def);
            for (const auto& other : text_.fields)
                if (sameName(other.name, f.name))
                    throwEngineError(DBIERR_INVALIDPARAM,
                                     "Field name " + f.name + " occurs twice in " + dataPath_);
            f.offset = offset;
            offset += f.width;
            text_.fields.push_back(std::move(f));
        }
        data_ = &tx_.stage(dataPath_);
        data_->truncate(0);
    }

    void append(const Record& record) override {
        const std::string line = encodeRecordLine(text_, *codec_, record) + "\r\n";
        data_->writeAt(written_, line.data(), line.size());
        written_ += line.size();
    }

    void finish() override {
        if (finished_) return;
        TextSchema stored = text_;
        for (auto& f : stored.fields) f.name = codec_->fromUtf8(f.name);
        const std::string schemaText = formatSchema(stored);
        std::string schemaPath = schemaPathFor(
            TablePath{directoryOf(dataPath_), fileNameOf(dataPath_)}, tx_.fileSystem());
        if (schemaPath.empty()) {
            const std::string ext = extensionOf(dataPath_);
            const bool lower = ext.size() > 1 && ext[1] >= 'a' && ext[1] <= 'z';
            schemaPath = joinPath(directoryOf(dataPath_),
                                  stemOf(fileNameOf(dataPath_)) + (lower ? ".sch" : ".SCH"));
        }
        File& file = tx_.stage(schemaPath);
        file.truncate(0);
        file.writeAt(0, schemaText.data(), schemaText.size());
        finished_ = true;
    }

  private:
    std::string dataPath_;
    FileTransaction& tx_;
    TextSchema text_;
    std::unique_ptr<TextCodec> codec_;
    File* data_ = nullptr;
    std::uint64_t written_ = 0;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<TableBuilder> makeAsciiBuilder(const TablePath& target, const TableSchema& schema,
                                               std::shared_ptr<const FormatProperties> like,
                                               FileTransaction& tx) {
    return std::make_unique<AsciiBuilder>(target, schema, std::move(like), tx);
}

}  // namespace kx4::ascii
