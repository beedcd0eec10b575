#include "TestModels.h"

#include "ModelWriter.h"

namespace murmelo {

QString TestModels::tinyModelPath() {
    return QStringLiteral(MURMELO_TINY_TEST_MODEL);
}

QString TestModels::speechModelPath() {
    return QStringLiteral(MURMELO_SPEECH_TEST_MODEL);
}

Result<Success> TestModels::generate(const ModelShape& shape, const QString& path, quint64 seed) {
    return ModelWriter::write(shape, seed, path);
}

} // namespace murmelo
