// Stitcher exports: PTGui project script, Autopano project and Hugin project.
// Every export gathers the pictures of the selected bracketing of each tile,
// composes the whole document in memory and writes it atomically, so a
// failed export never leaves a partial file behind.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>
#include "VELDANPanorama/PanoramaProject.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace {

constexpr double kPi = 3.141592653589793;

// One picture as read under the image's read access.
struct Picture {
    std::wstring filename;
    uint32_t width = 0;   // as displayed
    uint32_t height = 0;  // as displayed
    uint8_t orientation = 0;
    int32_t ev = 0;
    bool listed = false;  // has size and name, so it gets an entry
    uint32_t stack = 0;   // index of the bracketing among the exported ones
    uint32_t stack_size = 0;
    const VELDANPanoramaTile* tile = nullptr;
    VELDANPanoramaImage* image = nullptr;
};

struct PictureList {
    std::vector<Picture> pictures;  // listed pictures only
    uint32_t named = 0;             // pictures with a name, with or without size
};

PictureList CollectPictures(VELDANPanoramaProject& project) {
    PictureList list;
    uint32_t stack = 0;
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        VELDANPanoramaBracketing* bracketing = tile->Bracketing(tile->variant);
        if (!bracketing) continue;
        const size_t first = list.pictures.size();
        for (uint32_t i = 0; i < bracketing->GetImageCnt(); ++i) {
            VELDANPanoramaImage* image = bracketing->GetImage(i);
            if (!image || !image->access.EnterReadAccess()) continue;
            Picture p;
            const wchar_t* name = image->GetFilename();
            if (name) p.filename = name;
            p.width = image->GetWidth();
            p.height = image->GetHeight();
            p.orientation = image->orientation;
            p.ev = image->ev;
            image->access.LeaveReadAccess();
            if (!name) continue;
            ++list.named;
            if (p.width == 0 || p.height == 0) continue;
            p.tile = tile;
            p.image = image;
            p.stack = stack;
            list.pictures.push_back(std::move(p));
        }
        const size_t in_stack = list.pictures.size() - first;
        for (size_t k = first; k < list.pictures.size(); ++k) list.pictures[k].stack_size = uint32_t(in_stack);
        if (in_stack > 0) ++stack;
    }
    return list;
}

double RollOf(uint8_t orientation) {
    switch (orientation) {
        case 1: return -90;
        case 2: return 180;
        case 3: return 90;
        default: return 0;
    }
}

double YawOf(double pos_x) {
    if (pos_x > 180) pos_x -= 360;
    if (pos_x < -180) pos_x += 360;
    return pos_x;
}

// Decimal numbers as the C library's "%.Nf" writes them in the "C" locale:
// the stitchers read a point, whatever the user's locale says.
std::wstring Fixed(double value, int decimals = 6) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return L"0";
    return std::wstring(buffer, result.ptr);
}

std::wstring Unsigned(uint64_t value) { return std::to_wstring(value); }

// Text mode of the exports: every newline becomes CR LF.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (wchar_t c : text) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

bool WriteBytes(const wchar_t* file_name, const std::string& bytes) {
    if (!file_name || !*file_name) return false;
    return veldan::platform::WriteFileAtomically(veldan::platform::PathFromWide(file_name), bytes);
}

// Preview copy of a picture: a small upright JPEG next to the picture file.
struct PreviewCopy {
    std::wstring name;
    uint32_t width = 0;
    uint32_t height = 0;
};

PreviewCopy PreviewCopyOf(const Picture& picture) {
    PreviewCopy copy;
    if (picture.height < picture.width) {
        copy.width = 1024;
        copy.height = uint32_t(uint64_t(picture.height) * 1024 / picture.width);
    } else {
        copy.height = 1024;
        copy.width = uint32_t(uint64_t(picture.width) * 1024 / picture.height);
    }
    const size_t dot = picture.filename.rfind(L'.');
    copy.name = (dot == std::wstring::npos ? picture.filename : picture.filename.substr(0, dot)) + L"_prev.jpg";
    return copy;
}

// Preview copies are small upright JPEGs written by the image itself beside
// the picture. A copy that cannot be written leaves the entry naming the
// full-size picture, so the stitcher still finds a file.
constexpr bool kPreviewCopiesAvailable = true;

bool WritePreviewCopy(VELDANPanoramaImage* image, const PreviewCopy& copy) {
    return image && image->SaveThumbAs(copy.name.c_str(), copy.width, copy.height);
}

std::wstring PTguiDocument(VELDANPanoramaProject& project, const PictureList& list, bool preview) {
    std::wstring s;
    s += L"# ptGui project file\n\n#-encoding utf8\n#-pathseperator \\\n#-fileversion 31\n#-vfov 180\n#-hfov 360\n"
         L"#-outputfile\n#-hasbeenoptimized 0\n#-psdparameters 16bit packbits layered\n"
         L"#-honorexiforientation 0\n#-outputcrop 0 1 0 1\n";
    if (!preview) {
        s += L"#-optviewpoint ";
        for (uint32_t i = 0; i < list.named; ++i) s += L"1";
        s += L"\n";
    }
    s += L"#-hdrenabled\n";
    if (!preview) s += L"#-hdroutputhdrblended\n";
    s += L"#-hdroutputtonemapped\n";
    if (preview)
        s += L"#-hdrfileformat tif\n";
    else
        s += L"#-hdroutputlayers\n#-hdroutputblendplanes\n#-hdrfileformat psd\n#-hdrmethod truehdr\n";
    s += L"#-hdrpsdparameters float none flat\n#-hdrsettings_defaultlinkmode link\n#-hdrsettings_donotask 1\n"
         L"#-linkroll\n#-cpinactive\n#-imginactive\n#-alignsettings_generatecp 1\n#-alignsettings_optimize 1\n"
         L"#-alignsettings_optimizeprealign 0\n#-alignsettings_straighten 1\n#-alignsettings_fit 0\n"
         L"#-alignsettings_chooseprojection 0\n#-alignsettings_setoptimumsize 0\n#-alignsettings_limitsize 20\n";
    s += preview ? L"#-alignsettings_optimizeexposure 0\n" : L"#-alignsettings_optimizeexposure 1\n";
    s += L"#-batchsettings_align 1\n#-batchsettings_stitch 1\n#-batchsettings_stitchonlyifcontrolpoints 0\n"
         L"#-defaultprojectfilenamemode firstsourceimage\n#-defaultprojectfilename_custom \" Panorama\"\n"
         L"#-defaultprojectfoldermode sourcefolder\n#-defaultprojectfolder_custom \"\"\n"
         L"#-defaultpanoramafilenamemode asproject\n#-defaultpanoramafilename_custom \"\"\n"
         L"#-defaultpanoramafoldermode projectfolder\n#-defaultpanoramafolder_custom \"\"\n";
    s += L"# Panorama settings:\n";
    s += preview ? L"p w4000 h2000 f2 v360 n\"TIFF\"\n" : L"p w25000 h12500 f2 v360 n\"PSD_mask\"\n";
    s += L"m g1 i0 f0\n\n# input images:\n#-dummyimage\n";
    const wchar_t* plain_dummy = L"o w1 h1 y0 r0 p0 a0 b0 c0 f0 d0 e0 g0 t0";
    double angle = 0;
    if (project.lens.focal_length != 0) {
        const double d =
            (preview && project.camera.orientation != 1) ? project.sensor.dimension_y : project.sensor.dimension_x;
        angle = 2 * std::atan(d / (2 * project.lens.focal_length)) * 180 / kPi;
    }
    s += plain_dummy;
    if (angle != 0) s += L" v" + Fixed(angle);
    s += L"\n";
    for (const Picture& p : list.pictures) {
        uint32_t w = p.width, h = p.height;
        std::wstring name = p.filename;
        double roll = RollOf(p.orientation);
        if (preview) {
            const PreviewCopy copy = PreviewCopyOf(p);
            if (WritePreviewCopy(p.image, copy)) {
                w = copy.width;
                h = copy.height;
                name = copy.name;
                roll = 0;
            }
        }
        s += L"#-imgfile " + Unsigned(w) + L" " + Unsigned(h) + L" \"" + name + L"\"\n";
        s += L"o f0 y" + Fixed(YawOf(p.tile->pos_x)) + L" r" + Fixed(roll) + L" p" + Fixed(p.tile->pos_y) +
             L" v=0 b=0 c=0 d=0 e=0 g=0 t=0\n";
    }
    s += L"\n# optimizer:\nv v a b c d e";
    for (uint32_t i = 1; i <= list.named; ++i) s += L" r" + Unsigned(i);
    s += L"\n";
    return s;
}

std::wstring AutopanoDocument(VELDANPanoramaProject& project, const PictureList& list, bool preview) {
    std::wstring s;
    s += L"<Version>\n\t<FileModel> 1.11 </FileModel>\n\t<APPVersion> V2.0.5  </APPVersion>\n"
         L"\t<PanoID> 1 </PanoID>\n\t</Version>\n\n";
    s += L"<EditorOptions>\n\t<EditorInitialAnchors> 4 </EditorInitialAnchors>\n"
         L"\t<EditorAutoCCUpdate> 1 </EditorAutoCCUpdate>\n\t<EditorAutoCCAutoLevel> 1 </EditorAutoCCAutoLevel>\n"
         L"\t<EditorCrossStayActivated> 1 </EditorCrossStayActivated>\n"
         L"\t<ProjectUseRelativePath> 0 </ProjectUseRelativePath>\n</EditorOptions>\n\n";
    s += L"<BlendedLayers>\n\t<Name> Layer 0 </Name>\n";
    for (uint32_t i = 0; i < list.named; ++i) s += L"\t<LImage> " + Unsigned(i) + L" 1 1 </LImage>\n";
    s += L"</BlendedLayers>\n\n";
    s += L"<ColorHisto>\n\t<HMin> 0 </HMin>\n\t<HMax> 1 </HMax>\n\t<HUserMin> 0 </HUserMin>\n"
         L"\t<HUserMax> 1 </HUserMax>\n\t<RUserMin> 0 </RUserMin>\n\t<RUserMax> 1 </RUserMax>\n"
         L"\t<GUserMin> 0 </GUserMin>\n\t<GUserMax> 1 </GUserMax>\n\t<BUserMin> 0 </BUserMin>\n"
         L"\t<BUserMax> 1 </BUserMax>\n\t<HGamma> 1 </HGamma>\n\t<RGamma> 1 </RGamma>\n"
         L"\t<GGamma> 1 </GGamma>\n\t<BGamma> 1 </BGamma>\n</ColorHisto>\n\n";
    s += L"<Optim>\n\t<totalRMS> 0 </totalRMS>\n"
         L"\t<Options> AAAACwAAAAEBAQABAQAAAAAAAQEAAAAAQIAAAAAAADJCIAAAAQEAAAAB </Options>\n</Optim>\n\n";
    const _FOV& fov = project.fov;
    s += L"<Projection>\n\t<Type> 0 </Type>\n";
    s += L"\t<ThetaMin> " + Fixed((fov.begin_theta - 180) * kPi / 180) + L" </ThetaMin>\n";
    s += L"\t<ThetaMax> " + Fixed((fov.end_theta - 180) * kPi / 180) + L" </ThetaMax>\n";
    s += L"\t<PhiMin> " + Fixed(fov.begin_phi * kPi / 180) + L" </PhiMin>\n";
    s += L"\t<PhiMax> " + Fixed(fov.end_phi * kPi / 180) + L" </PhiMax>\n";
    s += L"\t<FitMode> 0 </FitMode>\n</Projection>\n\n";
    const double focal = project.lens.focal_length;
    for (const Picture& p : list.pictures) {
        const bool turned = p.orientation == 1 || p.orientation == 3;
        std::wstring name = p.filename;
        double roll = RollOf(p.orientation);
        double f = (turned ? p.height : p.width) / (2 * std::atan(project.sensor.dimension_x / (2 * focal)));
        if (preview) {
            const PreviewCopy copy = PreviewCopyOf(p);
            if (WritePreviewCopy(p.image, copy)) {
                name = copy.name;
                roll = 0;
                const double side = turned ? project.sensor.dimension_y : project.sensor.dimension_x;
                f = copy.width / (2 * std::atan(side / (2 * focal)));
            }
        }
        for (wchar_t& c : name)
            if (c == L'\\') c = L'/';
        s += L"<Image>\n\t<FullFilename> " + name +
             L" </FullFilename>\n\t<LensModel> Standard </LensModel>\n"
             L"</Image>\n\n";
        s += L"<Camera>\n\t<Model> 0 </Model>\n";
        s += L"\t<Yaw> " + Fixed((YawOf(p.tile->pos_x) - 180) * kPi / 180) + L" </Yaw>\n";
        s += L"\t<Pitch> " + Fixed(p.tile->pos_y * kPi / 180) + L" </Pitch>\n";
        s += L"\t<Roll> " + Fixed(roll * kPi / 180) + L" </Roll>\n";
        s += L"\t<F> " + (std::isfinite(f) ? Fixed(f, 2) : std::wstring(L"0.00")) + L" </F>\n";
        s += L"\t<K1> 0 </K1>\n\t<K2> 0 </K2>\n\t<K3> 0 </K3>\n</Camera>\n\n";
        s += L"<Color>\n\t<Model> 0 </Model>\n\t<Type> 5 </Type>\n\t<RedCoef> 1 0 </RedCoef>\n"
             L"\t<GreenCoef> 1 0 </GreenCoef>\n\t<BlueCoef> 1 0 </BlueCoef>\n</Color>\n\n";
    }
    return s;
}

// Multibyte text in the user's locale through the C library's conversion.
// False when a character has no representation there: a project naming the
// wrong files is worse than no project.
bool ToLocaleMultibyte(const std::wstring& text, std::string& out) {
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    out.clear();
    out.reserve(text.size());
    for (wchar_t c : text) {
        const size_t n = std::wcrtomb(buffer, c, &state);
        if (n == static_cast<size_t>(-1)) return false;
        out.append(buffer, n);
    }
    return true;
}

// Horizontal opening angle of the stored picture (degrees): from the lens and
// sensor when they are known, else from the tile's planned angles.
double StoredHfov(VELDANPanoramaProject& project, const Picture& p, uint32_t stored_w, uint32_t stored_h) {
    const double f = project.lens.focal_length;
    const double dx = project.sensor.dimension_x, dy = project.sensor.dimension_y;
    if (f > 0 && dx > 0 && dy > 0) {
        // The sensor side that runs along the stored picture's width.
        const double side = ((stored_w >= stored_h) == (dx >= dy)) ? dx : dy;
        return 2 * std::atan(side / (2 * f)) * 180 / kPi;
    }
    const bool turned = p.orientation == 1 || p.orientation == 3;
    const double planned = turned ? p.tile->fov_y : p.tile->fov_x;
    return planned > 0 && planned < 180 ? planned : 50;
}

std::wstring HuginDocument(VELDANPanoramaProject& project, const PictureList& list) {
    const _FOV& fov = project.fov;
    double theta_extent = fov.end_theta - fov.begin_theta;
    if (!(theta_extent > 0) || theta_extent > 360) theta_extent = 360;
    const bool full_circle = theta_extent >= 360;
    const double theta_centre = full_circle ? 0 : (fov.begin_theta + fov.end_theta) / 2;
    const double phi_reach = std::min(90.0, std::max(std::fabs(fov.begin_phi), std::fabs(fov.end_phi)));

    struct Entry {
        uint32_t w, h;
        double hfov, yaw, pitch, roll;
    };
    std::vector<Entry> entries;
    double pixels_per_degree = 0;
    for (const Picture& p : list.pictures) {
        // Hugin reads the file's own pixel size; the image keeps the size as
        // displayed, turned for orientation 1 and 3.
        const bool turned = p.orientation == 1 || p.orientation == 3;
        Entry e;
        e.w = turned ? p.height : p.width;
        e.h = turned ? p.width : p.height;
        e.hfov = StoredHfov(project, p, e.w, e.h);
        e.yaw = YawOf(p.tile->pos_x - theta_centre);
        e.pitch = p.tile->pos_y;
        e.roll = RollOf(p.orientation);
        pixels_per_degree = std::max(pixels_per_degree, e.w / e.hfov);
        entries.push_back(e);
    }
    if (pixels_per_degree <= 0) pixels_per_degree = 10;
    // Full resolution of the pictures, kept below Hugin's practical limit.
    double width = theta_extent * pixels_per_degree;
    if (width > 30000) width = 30000;
    const uint32_t pw = std::max<uint32_t>(2, uint32_t(std::lround(width)));
    const uint32_t ph = std::max<uint32_t>(1, uint32_t(std::lround(pw * (2 * phi_reach) / theta_extent)));

    std::wstring s;
    s += L"# hugin project file\n#hugin_ptoversion 2\n";
    s += L"p f2 w" + Unsigned(pw) + L" h" + Unsigned(ph) + L" v" + Fixed(theta_extent) +
         L" k0 E0 R0 n\"TIFF_m c:LZW\"\n";
    s += L"m i0\n\n# image lines\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const Picture& p = list.pictures[i];
        const Entry& e = entries[i];
        // Exposure value: a third of a stop per ev step, brighter pictures
        // having the lower value as in Hugin's own EXIF reading.
        const double eev = -p.ev / 3.0;
        s += L"#-hugin  cropFactor=1 autoCenterCrop=1\n";
        s += L"i w" + Unsigned(e.w) + L" h" + Unsigned(e.h) + L" f0 v" + Fixed(e.hfov) + L" Ra0 Rb0 Rc0 Rd0 Re0 Eev" +
             Fixed(eev) + L" Er1 Eb1 r" + Fixed(e.roll) + L" p" + Fixed(e.pitch) + L" y" + Fixed(e.yaw) +
             L" TrX0 TrY0 TrZ0 Tpy0 Tpp0 j" + Unsigned(p.stack) +
             L" a0 b0 c0 d0 e0 g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5 n\"" + p.filename + L"\"\n";
    }
    s += L"\n# specify variables that should be optimized\nv\n\n# control points\n\n";
    s += L"#hugin_optimizeReferenceImage 0\n#hugin_blender enblend\n#hugin_hdrmerge hugin_hdrmerge\n";
    s += L"#hugin_outputLDRBlended true\n";
    s += L"#hugin_outputHDRBlended " +
         std::wstring(list.pictures.size() > 0 && list.pictures.front().stack_size > 1 ? L"true" : L"false") + L"\n";
    return s;
}

}  // namespace

bool VELDANPanoramaProject::ExportPTgui(const wchar_t* file_name, bool preview) {
    if (!file_name || !*file_name) return false;
    if (preview && !kPreviewCopiesAvailable) return false;
    const PictureList list = CollectPictures(*this);
    const std::string bytes = "\xEF\xBB\xBF" + veldan::platform::ToUtf8(WithCrLf(PTguiDocument(*this, list, preview)));
    return WriteBytes(file_name, bytes);
}

bool VELDANPanoramaProject::ExportAutopano(const wchar_t* file_name, bool preview) {
    if (!file_name || !*file_name) return false;
    if (preview && !kPreviewCopiesAvailable) return false;
    const PictureList list = CollectPictures(*this);
    std::string bytes;
    if (!ToLocaleMultibyte(WithCrLf(AutopanoDocument(*this, list, preview)), bytes)) return false;
    return WriteBytes(file_name, bytes);
}

bool VELDANPanoramaProject::ExportHugin(const wchar_t* file_name, bool preview) {
    if (!file_name || !*file_name) return false;
    // Hugin reads the pictures' own files, so a preview variant needs the
    // preview copies.
    if (preview) return false;
    const PictureList list = CollectPictures(*this);
    return WriteBytes(file_name, veldan::platform::ToUtf8(HuginDocument(*this, list)));
}
