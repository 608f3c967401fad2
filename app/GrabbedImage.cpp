#include "app/GrabbedImage.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

namespace vidorel {

namespace {

// A file under a temporary name that becomes `path` only when complete.
class TPendingFile {
public:
    explicit TPendingFile(const std::string& path) : path_(path), temp_(path + ".part") {
        file_ = std::fopen(temp_.c_str(), "wb");
        if (file_ == nullptr) {
            error_ = std::strerror(errno);
        }
    }
    ~TPendingFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        if (!committed_) {
            ::unlink(temp_.c_str());
        }
    }
    FILE* Stream() const { return file_; }
    bool Write(const void* data, size_t size) {
        if (file_ == nullptr || std::fwrite(data, 1, size, file_) != size) {
            if (error_.empty()) {
                error_ = std::strerror(errno);
            }
            return false;
        }
        return true;
    }
    // Flushed, closed and renamed; false (the reason kept) when any of it failed.
    bool Commit() {
        if (file_ == nullptr) {
            return false;
        }
        const bool flushed = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
        const int err = errno;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) {
            error_ = std::strerror(flushed ? errno : err);
            return false;
        }
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            error_ = std::strerror(errno);
            return false;
        }
        committed_ = true;
        return true;
    }
    const std::string& Error() const { return error_; }
    void Fail(const std::string& why) { error_ = why; }

private:
    std::string path_;
    std::string temp_;
    FILE* file_ = nullptr;
    bool committed_ = false;
    std::string error_;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

bool Failed(std::string* why, const std::string& text) {
    if (why != nullptr) {
        *why = text;
    }
    return false;
}

// libjpeg's own error handler ends the process; this one returns to the writer.
struct TJpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

} // namespace

QSize AspectCorrectedSize(QSize picture, int mode) {
    int w = picture.width() > 0 ? picture.width() : 640;
    int h = picture.height() > 0 ? picture.height() : 480;
    if (mode == 1) {
        if (w * 3 < h * 4) {
            h = w * 3 / 4;
        } else if (h * 4 < w * 3) {
            w = h * 4 / 3;
        }
    } else if (mode == 2) {
        if (w * 9 < h * 16) {
            h = w * 9 / 16;
        } else if (h * 16 < w * 9) {
            w = h * 16 / 9;
        }
    }
    return {w, h};
}

QImage GrabbedPicture(const QImage& frame, bool deinterlace, DeinterlaceScratch& scratch) {
    // A copy of our own: the frame's memory goes back to the overlay.
    QImage picture = frame.format() == QImage::Format_RGB888
                         ? frame.copy()
                         : frame.convertToFormat(QImage::Format_RGB888);
    if (deinterlace && !picture.isNull()) {
        const BitmapView view{picture.bits(), picture.width(), picture.height(),
                              picture.bytesPerLine(), 24};
        DeinterlaceBitmap(view, view, scratch);
    }
    return picture;
}

QImage ShapedPicture(const QImage& picture, int mode) {
    const QSize size = AspectCorrectedSize(picture.size(), mode);
    if (picture.isNull() || size == picture.size()) {
        return picture;
    }
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool SaveBmp24(const QImage& picture, const std::string& path, std::string* why) {
    if (picture.isNull()) {
        return Failed(why, "there is no picture");
    }
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const uint32_t w = static_cast<uint32_t>(rgb.width());
    const uint32_t h = static_cast<uint32_t>(rgb.height());
    const uint32_t stride = (w * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * h;
    std::vector<uint8_t> header(54, 0);
    header[0] = 'B';
    header[1] = 'M';
    Put32(header, 2, 54 + imageSize); // file size
    Put32(header, 10, 54);            // pixel data offset
    Put32(header, 14, 40);            // BITMAPINFOHEADER
    Put32(header, 18, w);
    Put32(header, 22, h); // positive: rows bottom-up
    Put16(header, 26, 1); // planes
    Put16(header, 28, 24);
    Put32(header, 34, imageSize);
    Put32(header, 38, 2835); // 72 dpi
    Put32(header, 42, 2835);
    TPendingFile file(path);
    if (!file.Write(header.data(), header.size())) {
        return Failed(why, file.Error());
    }
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t y = h; y-- > 0;) {
        const uchar* src = rgb.constScanLine(static_cast<int>(y));
        for (uint32_t x = 0; x < w; ++x) {
            row[x * 3] = src[x * 3 + 2]; // B G R
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
        if (!file.Write(row.data(), row.size())) {
            return Failed(why, file.Error());
        }
    }
    if (!file.Commit()) {
        return Failed(why, file.Error());
    }
    return true;
}

bool SaveJpeg(const QImage& picture, const std::string& path, int quality, std::string* why) {
    if (picture.isNull()) {
        return Failed(why, "there is no picture");
    }
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    TPendingFile file(path);
    if (file.Stream() == nullptr) {
        return Failed(why, file.Error());
    }
    jpeg_compress_struct cinfo;
    TJpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = &JpegErrorExit;
    err.message[0] = '\0';
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        return Failed(why, std::string("the JPEG encoder failed: ") + err.message);
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file.Stream());
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 1 ? 1 : (quality > 100 ? 100 : quality), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW line =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (std::ferror(file.Stream()) != 0) {
        file.Fail(std::strerror(errno));
        return Failed(why, file.Error());
    }
    if (!file.Commit()) {
        return Failed(why, file.Error());
    }
    return true;
}

} // namespace vidorel
