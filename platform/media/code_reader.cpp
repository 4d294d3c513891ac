#include "platform/media/code_reader.h"

#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>

#include <utility>

#include "platform/media/metadata_output.h"

namespace av {

namespace {

struct CodeReaderFormat {
    std::string_view type;
    ZXing::BarcodeFormat format;
};

const std::vector<CodeReaderFormat>& codeReaderFormats() {
    static const std::vector<CodeReaderFormat> formats{
        {MetadataObjectTypeQRCode, ZXing::BarcodeFormat::QRCode},
        {MetadataObjectTypeUPCECode, ZXing::BarcodeFormat::UPCE},
        {MetadataObjectTypeCode39Code, ZXing::BarcodeFormat::Code39},
        {MetadataObjectTypeEAN13Code, ZXing::BarcodeFormat::EAN13},
        {MetadataObjectTypeEAN8Code, ZXing::BarcodeFormat::EAN8},
        {MetadataObjectTypeCode93Code, ZXing::BarcodeFormat::Code93},
        {MetadataObjectTypeCode128Code, ZXing::BarcodeFormat::Code128},
        {MetadataObjectTypePDF417Code, ZXing::BarcodeFormat::PDF417},
        {MetadataObjectTypeAztecCode, ZXing::BarcodeFormat::Aztec},
        {MetadataObjectTypeInterleaved2of5Code, ZXing::BarcodeFormat::ITF},
        {MetadataObjectTypeDataMatrixCode, ZXing::BarcodeFormat::DataMatrix},
    };
    return formats;
}

} // namespace

const std::vector<std::string_view>& decodableCodeTypes() {
    static const std::vector<std::string_view> types = [] {
        std::vector<std::string_view> all;
        for (const auto& f : codeReaderFormats())
            all.push_back(f.type);
        return all;
    }();
    return types;
}

std::vector<DecodedCode> decodeCodes(const std::uint8_t* luminance, int width, int height, int bytesPerRow,
                                     const std::vector<std::string>& types) {
    std::vector<DecodedCode> found;
    ZXing::BarcodeFormats wanted;
    for (const auto& f : codeReaderFormats())
        for (const std::string& type : types)
            if (type == f.type) wanted |= f.format;
    if (wanted.empty() || !luminance || width <= 0 || height <= 0) return found;
    ZXing::DecodeHints hints;
    hints.setFormats(wanted);
    const ZXing::ImageView image(luminance, width, height, ZXing::ImageFormat::Lum, bytesPerRow);
    for (const ZXing::Result& result : ZXing::ReadBarcodes(image, hints)) {
        if (!result.isValid()) continue;
        DecodedCode code;
        for (const auto& f : codeReaderFormats())
            if (f.format == result.format()) code.type = f.type;
        code.text = result.text(); // UTF-8 under ZX_USE_UTF8
        const auto& position = result.position();
        for (int corner = 0; corner < 4; ++corner)
            code.corners.push_back({double(position[corner].x), double(position[corner].y)});
        found.push_back(std::move(code));
    }
    return found;
}

} // namespace av
