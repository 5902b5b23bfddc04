#include "tools/scene_build.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

#include "tools/script_assembler.h"
#include "tools/text_form.h"

namespace testkit {

namespace {

// The route length of nodes that do not reach each other: no walk is
// cheaper than the path finder's own starting cost.
constexpr float kNoRoute = 100000.0f;

struct Pending {
    int line = 0;
    std::string what;
};

// Which side of a-b the point c lies on, on the floor plane; positive for
// the corner order whose triangle holds points (as 0 0, 1 0, 0 1 in x, z).
double Side(const std::array<float, 3>& a, const std::array<float, 3>& b, const std::array<float, 3>& c)
{
    return (double(c[2]) - a[2]) * (double(b[0]) - a[0]) - (double(c[0]) - a[0]) * (double(b[2]) - a[2]);
}

int Orient(double ax, double az, double bx, double bz, double cx, double cz)
{
    const double v = (cz - az) * (bx - ax) - (bz - az) * (cx - ax);
    return v > 0 ? 1 : v < 0 ? -1 : 0;
}

bool PointInPolygon(const SceneWalkPolygon& polygon, double x, double z)
{
    bool inside = false;
    const auto& v = polygon.vertices;
    for (size_t k = 0, j = v.size() - 1; k < v.size(); j = k++) {
        const double zk = v[k][2], zj = v[j][2], xk = v[k][0], xj = v[j][0];
        if (((zk <= z && z < zj) || (zj <= z && z < zk)) && (xj - xk) * (z - zk) / (zj - zk) + xk > x)
            inside = !inside;
    }
    return inside;
}

class SceneBuilder {
public:
    explicit SceneBuilder(std::string folder) : mFolder(std::move(folder)) {}

    void First(const TextLine& line)
    {
        if (line.words[0] != "scene")
            Refuse(line, "the file starts with \"scene <name>\", not \"" + line.words[0] + "\"");
        ExpectWords(line, 2, 2);
        if (line.words[1].size() > 63)
            Refuse(line, "a scene name has at most 63 characters");
        mSource.file.name = line.words[1];
    }

    void Line(const TextLine& line)
    {
        const std::string& what = line.words[0];
        if (what == "script")
            Script(line);
        else if (what == "occlusion")
            Occlusion(line);
        else if (what == "mesh")
            Block(line, Mesh);
        else if (what == "view")
            View(line);
        else if (what == "walkarea")
            Block(line, Walk);
        else if (what == "hotspot")
            Hotspot(line);
        else if (what == "region")
            Region(line);
        else if (what == "polygon")
            Polygon(line);
        else if (what == "point")
            Point(line);
        else if (what == "vertex")
            MeshVertex(line);
        else if (what == "triangle")
            mBlock == Mesh ? MeshTriangle(line) : WalkTriangle(line);
        else if (what == "node")
            Node(line);
        else if (what == "link")
            Link(line);
        else
            Refuse(line, "\"" + what + "\" is not a statement of a scene");
    }

    SceneSource Finish(int lastLine)
    {
        CloseBlock();
        if (!mHaveScript)
            throw TextFormError(lastLine, "the scene has no \"script\"");
        for (const auto& [line, view] : mRegionViews) {
            bool found = false;
            for (const SceneView& v : mSource.file.views)
                found = found || v.name == view;
            if (!found)
                throw TextFormError(line, "the region names view \"" + view + "\", which the scene does not have");
        }
        return std::move(mSource);
    }

private:
    enum BlockKind { None, Mesh, Walk, Spot };

    static std::string Name(const TextLine& line, const char* what)
    {
        ExpectWords(line, 2, 2);
        if (line.words[1].size() > 63)
            Refuse(line, std::string("a ") + what + " name has at most 63 characters");
        return line.words[1];
    }

    void Script(const TextLine& line)
    {
        ExpectWords(line, 2, 2);
        if (mHaveScript)
            Refuse(line, "the scene has one script");
        const std::string path = mFolder + line.words[1];
        std::string text;
        try {
            text = ReadTextFile(path);
        } catch (const TextFormError&) {
            Refuse(line, "cannot read the script " + path);
        }
        const tScriptAssembly assembly = AssembleScript(text);
        if (!assembly.ok()) {
            // "line N: reason" of the assembler, told as a line of the script.
            const int scriptLine = std::atoi(assembly.error.c_str() + 5);
            const size_t colon = assembly.error.find(": ");
            throw TextFormError(scriptLine, colon == std::string::npos ? assembly.error : assembly.error.substr(colon + 2),
                                path);
        }
        mSource.file.script = assembly.image;
        mHaveScript = true;
    }

    void Occlusion(const TextLine& line)
    {
        ExpectWords(line, 2, 2);
        const std::string path = mFolder + line.words[1];
        try {
            mSource.file.occlusion = ReadBinaryFile(path);
        } catch (const TextFormError&) {
            Refuse(line, "cannot read the occlusion block " + path);
        }
    }

    void Block(const TextLine& line, BlockKind kind)
    {
        CloseBlock();
        mBlock = kind;
        mBlockLine = line.number;
        if (kind == Mesh) {
            SceneMesh mesh;
            mesh.name = Name(line, "mesh");
            mSource.file.meshes.push_back(mesh);
        } else {
            SceneWalkArea area;
            area.name = Name(line, "walk-area");
            for (const SceneWalkArea& other : mSource.file.walkAreas)
                if (other.name == area.name)
                    Refuse(line, "walk area \"" + area.name + "\" is named twice");
            mSource.file.walkAreas.push_back(area);
            mLinks.clear();
            mPolygonLines.clear();
            mNodeLines.clear();
        }
    }

    void View(const TextLine& line)
    {
        CloseBlock();
        if (line.words.size() < 2 || line.words[1].size() > 63)
            Refuse(line, "a view is \"view <name> camera <x> <y> <z> ...\" with a name of at most 63 characters");
        SceneView view;
        view.name = line.words[1];
        for (const SceneView& other : mSource.file.views)
            if (other.name == view.name)
                Refuse(line, "view \"" + view.name + "\" is named twice");
        std::string picture;
        bool camera = false;
        for (size_t i = 2; i < line.words.size();) {
            const std::string& word = line.words[i];
            if (word == "camera") {
                for (size_t k = 0; k < 3; ++k)
                    view.camera[k] = WordFloat(line, i + 1 + k);
                camera = true;
                i += 4;
            } else if (word == "turn") {
                const float ax = WordFloat(line, i + 1), ay = WordFloat(line, i + 2), az = WordFloat(line, i + 3);
                const double length = std::sqrt(double(ax) * ax + double(ay) * ay + double(az) * az);
                if (length < 1e-6)
                    Refuse(line, "a turn needs an axis that is not zero");
                const double half = double(WordFloat(line, i + 4)) * 3.14159265358979323846 / 360.0;
                const double s = std::sin(half) / length;
                view.camera[3] = float(ax * s);
                view.camera[4] = float(ay * s);
                view.camera[5] = float(az * s);
                view.camera[6] = float(std::cos(half));
                i += 5;
            } else if (word == "fov") {
                const float degrees = WordFloat(line, i + 1);
                if (!(degrees > 0.0f && degrees < 180.0f))
                    Refuse(line, "a field of view lies between 0 and 180 degrees");
                view.camera[7] = float(double(degrees) * 3.14159265358979323846 / 180.0);
                i += 2;
            } else if (word == "picture" && i + 1 < line.words.size()) {
                picture = line.words[i + 1];
                i += 2;
            } else {
                Refuse(line, "\"" + word + "\" is not a part of a view");
            }
        }
        if (!camera)
            Refuse(line, "the view has no \"camera <x> <y> <z>\"");
        mSource.file.views.push_back(view);
        mSource.pictures.push_back(picture);
    }

    void Hotspot(const TextLine& line)
    {
        CloseBlock();
        ExpectWords(line, 2, 2);
        SceneHotspot hotspot;
        hotspot.number = uint32_t(WordInt(line, 1, 0, UINT32_MAX));
        for (const SceneHotspot& other : mSource.file.hotspots)
            if (other.number == hotspot.number)
                Refuse(line, "hotspot " + line.words[1] + " is numbered twice");
        mSource.file.hotspots.push_back(hotspot);
        mBlock = Spot;
        mBlockLine = line.number;
        mRegionOpen = false;
    }

    void Region(const TextLine& line)
    {
        if (mBlock != Spot)
            Refuse(line, "\"region\" belongs to a hotspot");
        CheckHotspotPolygon();
        SceneRegion region;
        region.view = Name(line, "view");
        mRegionViews.emplace_back(line.number, region.view);
        mSource.file.hotspots.back().regions.push_back(region);
        mRegionOpen = true;
        mPolygonLines.clear();
    }

    void Polygon(const TextLine& line)
    {
        ExpectWords(line, 1, 2);
        const bool hole = line.words.size() == 2;
        if (hole && line.words[1] != "hole")
            Refuse(line, "a polygon is \"polygon\" or \"polygon hole\"");
        if (mBlock == Walk) {
            CheckWalkPolygon();
            SceneWalkPolygon polygon;
            polygon.hole = hole;
            // Triangle corners and nodes keep a polygon's number in 16 bits.
            if (mSource.file.walkAreas.back().polygons.size() >= 32767)
                Refuse(line, "a walk area holds at most 32767 polygons");
            mSource.file.walkAreas.back().polygons.push_back(polygon);
        } else if (mBlock == Spot && mRegionOpen) {
            CheckHotspotPolygon();
            SceneRegionPolygon polygon;
            polygon.hole = hole;
            mSource.file.hotspots.back().regions.back().polygons.push_back(polygon);
        } else {
            Refuse(line, "\"polygon\" belongs to a walk area or a hotspot's region");
        }
        mPolygonLines.push_back(line.number);
    }

    void Point(const TextLine& line)
    {
        if (mBlock == Walk && !mSource.file.walkAreas.back().polygons.empty()) {
            SceneWalkArea& area = mSource.file.walkAreas.back();
            if (!area.triangles.empty() || !area.nodes.empty())
                Refuse(line, "a walk area's points come before its triangles and nodes");
            ExpectWords(line, 4, 4);
            if (area.polygons.back().vertices.size() >= 65536)
                Refuse(line, "a polygon holds at most 65536 points");
            area.polygons.back().vertices.push_back({WordFloat(line, 1), WordFloat(line, 2), WordFloat(line, 3)});
        } else if (mBlock == Spot && mRegionOpen && !mSource.file.hotspots.back().regions.back().polygons.empty()) {
            ExpectWords(line, 3, 3);
            mSource.file.hotspots.back().regions.back().polygons.back().points.push_back(
                {int32_t(WordInt(line, 1, INT32_MIN, INT32_MAX)), int32_t(WordInt(line, 2, INT32_MIN, INT32_MAX))});
        } else {
            Refuse(line, "\"point\" belongs to a polygon");
        }
    }

    void MeshVertex(const TextLine& line)
    {
        if (mBlock != Mesh)
            Refuse(line, "\"vertex\" belongs to a mesh");
        SceneMesh& mesh = mSource.file.meshes.back();
        if (line.words.size() != 4 && !(line.words.size() == 8 && line.words[4] == "normal"))
            Refuse(line, "a vertex is \"vertex <x> <y> <z> [normal <x> <y> <z>]\"");
        if (mesh.vertices.size() >= 65536)
            Refuse(line, "a mesh holds at most 65536 vertices");
        std::array<float, 6> v{0, 0, 0, 0, 1, 0};
        for (size_t k = 0; k < 3; ++k)
            v[k] = WordFloat(line, 1 + k);
        if (line.words.size() == 8)
            for (size_t k = 0; k < 3; ++k)
                v[3 + k] = WordFloat(line, 5 + k);
        mesh.vertices.push_back(v);
    }

    void MeshTriangle(const TextLine& line)
    {
        SceneMesh& mesh = mSource.file.meshes.back();
        ExpectWords(line, 4, 4);
        for (size_t k = 1; k <= 3; ++k) {
            const int64_t v = WordInt(line, k, 0, INT32_MAX);
            if (size_t(v) >= mesh.vertices.size())
                Refuse(line, "the triangle names vertex " + line.words[k] + " of a mesh with " +
                                 std::to_string(mesh.vertices.size()) + " vertices");
            mesh.indices.push_back(uint16_t(v));
        }
    }

    void WalkTriangle(const TextLine& line)
    {
        if (mBlock != Walk)
            Refuse(line, "\"triangle\" belongs to a mesh or a walk area");
        CheckWalkPolygon();
        SceneWalkArea& area = mSource.file.walkAreas.back();
        ExpectWords(line, 4, 4);
        std::array<uint32_t, 3> corners{};
        std::array<std::array<float, 3>, 3> at{};
        for (size_t k = 0; k < 3; ++k) {
            const std::string& word = line.words[k + 1];
            const size_t colon = word.find(':');
            TextLine parts{line.number, {word.substr(0, colon), colon == std::string::npos ? "" : word.substr(colon + 1)}};
            if (colon == std::string::npos)
                Refuse(line, "a corner is <polygon>:<point>, not \"" + word + "\"");
            const int64_t p = WordInt(parts, 0, 0, 65535), v = WordInt(parts, 1, 0, 65535);
            if (size_t(p) >= area.polygons.size() || size_t(v) >= area.polygons[size_t(p)].vertices.size())
                Refuse(line, "the triangle names vertex " + word + ", which the walk area does not have");
            corners[k] = WalkRef(uint32_t(p), uint32_t(v));
            at[k] = area.polygons[size_t(p)].vertices[size_t(v)];
        }
        const double side = Side(at[0], at[1], at[2]);
        if (side == 0.0)
            Refuse(line, "the triangle has no area");
        if (side < 0.0)
            Refuse(line, "the triangle's corners run the wrong way round: it would hold no point");
        area.triangles.push_back(corners);
    }

    void Node(const TextLine& line)
    {
        if (mBlock != Walk)
            Refuse(line, "\"node\" belongs to a walk area");
        CheckWalkPolygon();
        SceneWalkArea& area = mSource.file.walkAreas.back();
        ExpectWords(line, 3, 3);
        if (area.nodes.size() >= 32767)
            Refuse(line, "a walk area holds at most 32767 nodes");
        SceneWalkNode node;
        node.x = WordFloat(line, 1);
        node.z = WordFloat(line, 2);
        // The polygon that decides the node is inside, as the engine applies them.
        int holder = -1;
        for (size_t p = 0; p < area.polygons.size(); ++p)
            if (PointInPolygon(area.polygons[p], node.x, node.z))
                holder = area.polygons[p].hole ? -1 : int(p);
        if (holder < 0)
            Refuse(line, "the node lies outside the walk area");
        node.polygon = int16_t(holder);
        area.nodes.push_back(node);
        mNodeLines.push_back(line.number);
    }

    void Link(const TextLine& line)
    {
        if (mBlock != Walk)
            Refuse(line, "\"link\" belongs to a walk area");
        CheckWalkPolygon();
        const SceneWalkArea& area = mSource.file.walkAreas.back();
        ExpectWords(line, 3, 3);
        const int64_t a = WordInt(line, 1, 0, INT32_MAX), b = WordInt(line, 2, 0, INT32_MAX);
        for (int64_t n : {a, b})
            if (size_t(n) >= area.nodes.size())
                Refuse(line, "the link names node " + std::to_string(n) + " of a walk area with " +
                                 std::to_string(area.nodes.size()) + " nodes");
        if (a == b)
            Refuse(line, "a node is not linked to itself");
        const SceneWalkNode& na = area.nodes[size_t(a)];
        const SceneWalkNode& nb = area.nodes[size_t(b)];
        for (const SceneWalkPolygon& polygon : area.polygons)
            for (size_t k = 0, j = polygon.vertices.size() - 1; k < polygon.vertices.size(); j = k++) {
                const auto& v = polygon.vertices[k];
                const auto& u = polygon.vertices[j];
                const int o1 = Orient(na.x, na.z, nb.x, nb.z, u[0], u[2]);
                const int o2 = Orient(na.x, na.z, nb.x, nb.z, v[0], v[2]);
                const int o3 = Orient(v[0], v[2], u[0], u[2], nb.x, nb.z);
                const int o4 = Orient(v[0], v[2], u[0], u[2], na.x, na.z);
                if (o1 && o2 && o1 != o2 && o3 && o4 && o3 != o4)
                    Refuse(line, "the link crosses an edge of the walk area");
            }
        mLinks.insert({size_t(std::min(a, b)), size_t(std::max(a, b))});
    }

    void CheckWalkPolygon() const
    {
        const SceneWalkArea& area = mSource.file.walkAreas.back();
        if (!area.polygons.empty() && area.polygons.back().vertices.size() < 3)
            throw TextFormError(mPolygonLines.back(), "a polygon needs at least 3 points");
    }

    void CheckHotspotPolygon() const
    {
        if (!mRegionOpen)
            return;
        const SceneRegion& region = mSource.file.hotspots.back().regions.back();
        if (!region.polygons.empty() && region.polygons.back().points.size() < 3)
            throw TextFormError(mPolygonLines.back(), "a polygon needs at least 3 points");
    }

    // Ends the open mesh, walk area or hotspot.
    void CloseBlock()
    {
        if (mBlock == Mesh) {
            const SceneMesh& mesh = mSource.file.meshes.back();
            if (mesh.indices.empty())
                throw TextFormError(mBlockLine, "mesh \"" + mesh.name + "\" has no triangle");
        } else if (mBlock == Walk) {
            CheckWalkPolygon();
            SceneWalkArea& area = mSource.file.walkAreas.back();
            if (area.polygons.empty())
                throw TextFormError(mBlockLine, "walk area \"" + area.name + "\" has no polygon");
            Routes(area);
        } else if (mBlock == Spot) {
            CheckHotspotPolygon();
        }
        mBlock = None;
    }

    // Shortest routes along the links (Floyd and Warshall), with the first
    // node after the start of each.
    void Routes(SceneWalkArea& area) const
    {
        const size_t n = area.nodes.size();
        std::vector<double> length(n * n, std::numeric_limits<double>::infinity());
        std::vector<int> next(n * n, -1);
        for (size_t i = 0; i < n; ++i)
            length[i * n + i] = 0.0;
        for (const auto& [a, b] : mLinks) {
            const double d = std::hypot(double(area.nodes[a].x) - area.nodes[b].x, double(area.nodes[a].z) - area.nodes[b].z);
            length[a * n + b] = length[b * n + a] = d;
            next[a * n + b] = int(b);
            next[b * n + a] = int(a);
        }
        for (size_t k = 0; k < n; ++k)
            for (size_t i = 0; i < n; ++i)
                for (size_t j = 0; j < n; ++j)
                    if (length[i * n + k] + length[k * n + j] < length[i * n + j]) {
                        length[i * n + j] = length[i * n + k] + length[k * n + j];
                        next[i * n + j] = next[i * n + k];
                    }
        area.routes.assign(n * n, SceneWalkRoute{});
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                SceneWalkRoute& route = area.routes[i * n + j];
                route.direct = mLinks.count({std::min(i, j), std::max(i, j)}) ? 1 : 0;
                route.next = int16_t(i == j ? -1 : next[i * n + j]);
                route.length = std::isinf(length[i * n + j]) ? kNoRoute : float(length[i * n + j]);
            }
    }

    std::string mFolder;
    SceneSource mSource;
    BlockKind mBlock = None;
    int mBlockLine = 0;
    bool mHaveScript = false;
    bool mRegionOpen = false;
    std::vector<int> mPolygonLines;
    std::vector<int> mNodeLines;
    std::set<std::pair<size_t, size_t>> mLinks;
    std::vector<std::pair<int, std::string>> mRegionViews;
};

}  // namespace

SceneSource ReadSceneText(std::string_view text, const std::string& folder)
{
    const std::vector<TextLine> lines = SplitTextForm(text);
    if (lines.empty())
        throw TextFormError(1, "the file is empty: it starts with \"scene <name>\"");
    SceneBuilder builder(folder);
    builder.First(lines.front());
    for (size_t i = 1; i < lines.size(); ++i)
        builder.Line(lines[i]);
    return builder.Finish(lines.back().number);
}

}  // namespace testkit
