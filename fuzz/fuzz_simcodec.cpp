// The simulator's own codec: a frame it accepts is built back identically, a frame it builds is accepted,
// a corrupted checksum is refused, and frame ends are judged inside the buffer.
#include "FuzzSupport.h"
#include "sim/FrameCodec.h"

using Vantrel::Sim::FrameCodec;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    for (qsizetype lf = buffer.indexOf('\n'); lf >= 0; lf = buffer.indexOf('\n', lf + 1))
        (void)FrameCodec::endsFrame(buffer, int(lf));

    const QByteArray line = buffer.left(buffer.indexOf('\n'));
    const FrameCodec::ParsedFrame_t parsed = FrameCodec::parse(line);
    FUZZ_CHECK(!parsed.checksumOk || parsed.wellFormed);
    if (!parsed.wellFormed)
        return 0;
    FUZZ_CHECK(parsed.checksumOk == (parsed.receivedChecksum == parsed.computedChecksum));

    const QByteArray built = FrameCodec::frame(parsed.mnemonic, parsed.params);
    FUZZ_CHECK(built.endsWith("\r\n"));
    FUZZ_CHECK(FrameCodec::endsFrame(built, int(built.size() - 1)));
    const FrameCodec::ParsedFrame_t back = FrameCodec::parse(built.chopped(2));
    FUZZ_CHECK(back.wellFormed && back.checksumOk);
    FUZZ_CHECK(back.mnemonic == parsed.mnemonic && back.params == parsed.params);

    const FrameCodec::ParsedFrame_t corrupt = FrameCodec::parse(FrameCodec::frame(parsed.mnemonic, parsed.params, true).chopped(2));
    FUZZ_CHECK(corrupt.wellFormed && !corrupt.checksumOk);
    return 0;
}
