#!/usr/bin/env python3
"""Writes the hostile input files beside this script: small damaged sounds and pictures, each one a
case a loader once mishandled. Needs sox, lame and oggenc (scripts/install-deps.sh installs them);
every tool is run so that its output is the same on every run (sox -R, a fixed Ogg serial)."""
import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write(name, data):
    assert len(data) < 20000, name
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


# ---- Ogg pages ----------------------------------------------------------------------------------

def _crc_table():
    table = []
    for i in range(256):
        r = i << 24
        for _ in range(8):
            r = ((r << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if r & 0x80000000 else (r << 1) & 0xFFFFFFFF
        table.append(r)
    return table


CRC = _crc_table()


def ogg_pages(data):
    """(offset, size) of every page."""
    at = 0
    while at < len(data):
        assert data[at:at + 4] == b'OggS', at
        n = data[at + 26]
        size = 27 + n + sum(data[at + 27:at + 27 + n])
        yield at, size
        at += size


def ogg_fix_crcs(data):
    """Recomputes every page checksum, so that a changed byte reaches the decoder."""
    data = bytearray(data)
    for at, size in ogg_pages(data):
        data[at + 22:at + 26] = b'\0\0\0\0'
        c = 0
        for x in data[at:at + size]:
            c = ((c << 8) & 0xFFFFFFFF) ^ CRC[((c >> 24) & 0xFF) ^ x]
        data[at + 22:at + 26] = struct.pack('<I', c)
    return bytes(data)


# ---- sounds ---------------------------------------------------------------------------------------

def sounds(tmp):
    run('sox', '-R', '-n', '-r', '22050', '-c', '1', '-b', '16', 't22.wav', 'synth', '0.3', 'sine', '440', 'vol', '0.6',
        cwd=tmp)
    run('sox', '-R', '-n', '-r', '8000', '-c', '1', '-b', '16', 't8.wav', 'synth', '1', 'sine', '440', 'vol', '0.6',
        cwd=tmp)
    run('lame', '--quiet', '-b', '32', 't22.wav', 't22.mp3', cwd=tmp)
    run('lame', '--quiet', '-t', '-b', '8', 't8.wav', 't8.mp3', cwd=tmp)
    run('oggenc', '-Q', '--serial', '7', 't22.wav', '-o', 't22.ogg', cwd=tmp)
    read = lambda name: open(os.path.join(tmp, name), 'rb').read()

    # A lone 0xFFF word that reads as an MPEG-1 Layer I header at 48 kHz before 22.05 kHz frames.
    write('bogus_first_sync.mp3', bytes([0xFF, 0xFF, 0x14, 0x00]) + bytes(28) + read('t22.mp3'))

    # One changed byte in the setup header makes a codebook whose lengths overfill its Huffman tree.
    ogg = read('t22.ogg')
    setup = ogg.find(b'\x05vorbis')
    bad = bytearray(ogg)
    bad[setup + 557] = 32
    write('setup_overfull_codebook.ogg', ogg_fix_crcs(bad))

    # Two chained streams, the second's setup header damaged in one byte (libvorbisfile's failed open
    # of such a file loses 8 bytes).
    second = bytearray(ogg)
    for at, _ in ogg_pages(second):
        second[at + 14:at + 18] = struct.pack('<I', 8)
    setup_damaged = bytearray(second)
    setup_damaged[933] = 66
    write('chain_damaged_second_setup.ogg', ogg + ogg_fix_crcs(setup_damaged))
    # Two chained streams, the second's setup header with the overfull codebook of the first case: the
    # chain opens, and only the second link would crash the decoder.
    overfull = bytearray(second)
    overfull[setup + 557] = 32
    write('chain_second_overfull_codebook.ogg', ogg + ogg_fix_crcs(overfull))
    # The same with the second's identification header no longer saying what it is.
    second[28] = 0
    write('chain_damaged_second_ident.ogg', ogg + ogg_fix_crcs(second))

    # The last page's granule claims 500 million samples.
    last = list(ogg_pages(ogg))[-1][0]
    bad = bytearray(ogg)
    bad[last + 6:last + 14] = struct.pack('<q', 500000000)
    write('granule_500m.ogg', ogg_fix_crcs(bad))

    # MPEG audio in a WAVE that declares 1 byte per second.
    mp3 = read('t8.mp3')
    fmt = struct.pack('<HHIIHHHHIHHH', 0x55, 1, 8000, 1, 1, 0, 12, 1, 2, 72, 1, 1393)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(mp3)) + mp3
    write('mpeg_1_byte_per_second.wav', b'RIFF' + struct.pack('<I', len(body)) + body)


# ---- pictures -------------------------------------------------------------------------------------

def png_chunk(kind, data, length=None):
    length = len(data) if length is None else length
    return struct.pack('>I', length) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def jpeg_segment(marker, data):
    return bytes([0xFF, marker]) + struct.pack('>H', len(data) + 2) + data


def jpeg_grey(sof, width, height, scan_data):
    """A one-component JPEG up to its scan data: quantizer 1 throughout, and Huffman tables of one code
    each, a bit long, for DC category 0 and for end of block, so that each 8 x 8 block of grey 128
    takes the fewest bits it can. A progressive frame's scan is its DC scan."""
    one_code = bytes([1] + [0] * 15) + b'\0'
    progressive = sof == 0xC2
    return (b'\xff\xd8' + jpeg_segment(0xDB, bytes([0] + [1] * 64)) +
            jpeg_segment(sof, struct.pack('>BHHB', 8, height, width, 1) + b'\x01\x11\x00') +
            jpeg_segment(0xC4, b'\x00' + one_code + b'\x10' + one_code) +
            jpeg_segment(0xDA, b'\x01\x01\x00' + (b'\x00\x00\x00' if progressive else b'\x00\x3f\x00')) +
            scan_data)


def pictures():
    head = b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', 1, 1, 8, 0, 0, 0, 0))
    # Ancillary chunks that declare about a gigabyte; the file ends a few bytes later.
    for kind, length in ((b'tEXt', 0x40000000), (b'iTXt', 0x50000000), (b'sPLT', 0x60000000), (b'eXIf', 0x40000000)):
        write('huge_%s.png' % kind.decode().lower(), head + png_chunk(kind, b'k\0v', length))
    # 16384 x 4096 pictures with no pixels: headers alone.
    wide = b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', 16384, 4096, 8, 2, 0, 0, 0))
    write('empty_16384x4096.png', wide + png_chunk(b'IDAT', b'') + png_chunk(b'IEND', b''))
    write('empty_16384x4096.bmp', b'BM' + struct.pack('<IHHIIiiHHIIiiII', 54, 0, 0, 54, 40, 16384, 4096, 1, 24, 0, 0,
                                                     2835, 2835, 0, 0))
    # 16384 x 4096 pictures whose one IDAT chunk claims 2 GB, in files that end a few bytes into it: 8-bit
    # RGBA, 8-bit RGB, and 16-bit RGB interlaced.
    start = zlib.compress(bytes(4096))[:12]
    for name, depth, colour, interlace, data in (('idat_2g_rgba8.png', 8, 6, 0, start),
                                                 ('idat_2g_rgb8.png', 8, 2, 0, start[:10]),
                                                 ('idat_2g_rgb16_interlaced.png', 16, 2, 1, start[:2])):
        ihdr = png_chunk(b'IHDR', struct.pack('>IIBBBBB', 16384, 4096, depth, colour, 0, 0, interlace))
        write(name, b'\x89PNG\r\n\x1a\n' + ihdr + struct.pack('>I', 0x7FFFFFFF) + b'IDAT' + data)
    # 16384 x 4096 grey JPEGs with a few bytes of scan data, sequential (the file is cut) and progressive.
    write('cut_16384x4096.jpg', jpeg_grey(0xC0, 16384, 4096, bytes(8)))
    write('progressive_16384x4096.jpg', jpeg_grey(0xC2, 16384, 4096, bytes(8)) + b'\xff\xd9')


def main():
    with tempfile.TemporaryDirectory() as tmp:
        sounds(tmp)
    pictures()


if __name__ == '__main__':
    main()
