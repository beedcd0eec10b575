#include "ModelShape.h"

namespace murmelo {

ModelShape ModelShape::tiny() {
    ModelShape shape;
    shape.name = QStringLiteral("tiny");
    shape.vocabularySize = 51864;
    shape.audioContext = 1500;
    shape.audioState = 64;
    shape.audioHeads = 2;
    shape.audioLayers = 1;
    shape.textContext = 448;
    shape.textState = 64;
    shape.textHeads = 2;
    shape.textLayers = 1;
    shape.melBands = 80;
    shape.halfPrecision = true;
    return shape;
}

ModelShape ModelShape::baseEn() {
    ModelShape shape;
    shape.name = QStringLiteral("base.en");
    shape.vocabularySize = 51864;
    shape.audioContext = 1500;
    shape.audioState = 512;
    shape.audioHeads = 8;
    shape.audioLayers = 6;
    shape.textContext = 448;
    shape.textState = 512;
    shape.textHeads = 8;
    shape.textLayers = 6;
    shape.melBands = 80;
    shape.halfPrecision = true;
    return shape;
}

std::optional<ModelShape> ModelShape::named(const QString& name) {
    for (const ModelShape& shape : {tiny(), baseEn()}) {
        if (shape.name == name) {
            return shape;
        }
    }
    return std::nullopt;
}

} // namespace murmelo
