#include "tools/anim_build.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/text_form.h"

namespace testkit {

namespace {

constexpr uint32_t kLayerPositions = 0, kLayerNormals = 1, kLayerUVs = 3, kLayerOriginals = 5;
constexpr uint8_t kDiffuseMap = 2;

uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// "turn ax ay az degrees" at words[i]: a unit quaternion x, y, z, w.
void ReadTurn(const TextLine& line, size_t i, float out[4])
{
    const float ax = WordFloat(line, i), ay = WordFloat(line, i + 1), az = WordFloat(line, i + 2);
    const float degrees = WordFloat(line, i + 3);
    const double length = std::sqrt(double(ax) * ax + double(ay) * ay + double(az) * az);
    if (length < 1e-6)
        Refuse(line, "a turn needs an axis that is not zero");
    const double half = double(degrees) * 3.14159265358979323846 / 360.0;
    const double s = std::sin(half) / length;
    out[0] = float(ax * s);
    out[1] = float(ay * s);
    out[2] = float(az * s);
    out[3] = float(std::cos(half));
}

void ReadVector(const TextLine& line, size_t i, float* out, int count)
{
    for (int k = 0; k < count; ++k)
        out[k] = WordFloat(line, i + size_t(k));
}

struct Vertex {
    float position[3] = {0, 0, 0};
    float normal[3] = {0, 1, 0};
    float uv[2] = {0, 0};
    std::vector<AnimInfluence> influences;
};

struct Target {
    std::string name;
    int line = 0;
    std::map<uint32_t, std::array<float, 3>> moves;  // by vertex
};

struct Mesh {
    uint32_t node = 0;
    uint32_t material = 0;
    int line = 0;
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<Target> targets;
};

class ActorBuilder {
public:
    explicit ActorBuilder(const TextLine& first) : mName(first.words[1]) {}

    void Line(const TextLine& line)
    {
        const std::string& what = line.words[0];
        if (what == "node")
            Node(line);
        else if (what == "material")
            Material(line);
        else if (what == "mesh")
            MeshLine(line);
        else if (what == "vertex")
            VertexLine(line);
        else if (what == "triangle")
            Triangle(line);
        else if (what == "target")
            TargetLine(line);
        else if (what == "move")
            Move(line);
        else
            Refuse(line, "\"" + what + "\" is not a statement of an actor");
    }

    AnimBytes Finish(int lastLine)
    {
        if (mNodes.empty())
            throw TextFormError(lastLine, "the actor has no node");
        CheckMesh();
        AnimFileWriter writer(AnimFileKind::Actor);
        AnimActorInfoChunk info;
        info.actorName = mName;
        info.sourceApplication = "anim_build";
        writer.AddActorInfo(info, 1);
        for (const AnimNodeChunk& node : mNodes)
            writer.AddNode(node);
        for (size_t m = 0; m < mMaterials.size(); ++m) {
            writer.AddMaterial(mMaterials[m].chunk);
            if (!mMaterials[m].texture.empty()) {
                AnimMaterialLayerChunk layer;
                layer.materialNumber = uint16_t(m);
                layer.mapType = kDiffuseMap;
                layer.textureName = mMaterials[m].texture;
                writer.AddMaterialLayer(layer);
            }
        }
        std::map<std::string, AnimMorphTargetChunk> targets;
        std::vector<std::string> targetOrder;
        for (const Mesh& mesh : mMeshes) {
            WriteMesh(writer, mesh);
            for (const Target& target : mesh.targets) {
                auto [it, added] = targets.try_emplace(target.name);
                if (added) {
                    it->second.name = target.name;
                    targetOrder.push_back(target.name);
                }
                it->second.deformDatas.push_back(DeformData(mesh, target));
            }
        }
        for (const std::string& name : targetOrder)
            writer.AddMorphTarget(targets[name]);
        return writer.Finish();
    }

private:
    struct MaterialEntry {
        AnimMaterialChunk chunk;
        std::string texture;
    };

    uint32_t FindNode(const TextLine& line, const std::string& name, const char* role) const
    {
        for (size_t i = 0; i < mNodes.size(); ++i)
            if (mNodes[i].name == name)
                return uint32_t(i);
        Refuse(line, std::string(role) + " \"" + name + "\" is not a node above this line");
    }

    Mesh& CurrentMesh(const TextLine& line)
    {
        if (mMeshes.empty())
            Refuse(line, "\"" + line.words[0] + "\" comes before any mesh");
        return mMeshes.back();
    }

    void Node(const TextLine& line)
    {
        if (line.words.size() < 2)
            Refuse(line, "a node needs a name");
        AnimNodeChunk node;
        node.name = line.words[1];
        for (const AnimNodeChunk& other : mNodes)
            if (other.name == node.name)
                Refuse(line, "node \"" + node.name + "\" is named twice");
        for (size_t i = 2; i < line.words.size();) {
            const std::string& word = line.words[i];
            if (word == "parent" && i + 1 < line.words.size()) {
                node.parentIndex = FindNode(line, line.words[i + 1], "parent");
                i += 2;
            } else if (word == "at") {
                ReadVector(line, i + 1, node.position, 3);
                i += 4;
            } else if (word == "turn") {
                ReadTurn(line, i + 1, node.rotation);
                i += 5;
            } else {
                Refuse(line, "\"" + word + "\" is not a part of a node");
            }
        }
        if (mNodes.size() >= 65535)
            Refuse(line, "an actor holds at most 65535 nodes");
        mNodes.push_back(node);
    }

    void Material(const TextLine& line)
    {
        if (line.words.size() < 2)
            Refuse(line, "a material needs a name");
        MaterialEntry entry;
        entry.chunk.name = line.words[1];
        for (const MaterialEntry& other : mMaterials)
            if (other.chunk.name == entry.chunk.name)
                Refuse(line, "material \"" + entry.chunk.name + "\" is named twice");
        entry.chunk.diffuse[0] = entry.chunk.diffuse[1] = entry.chunk.diffuse[2] = 1.0f;
        entry.chunk.emissive[0] = 0.0f;
        for (size_t i = 2; i < line.words.size();) {
            const std::string& word = line.words[i];
            if (word == "texture" && i + 1 < line.words.size()) {
                entry.texture = line.words[i + 1];
                i += 2;
            } else if (word == "colour") {
                ReadVector(line, i + 1, entry.chunk.diffuse, 3);
                i += 4;
            } else {
                Refuse(line, "\"" + word + "\" is not a part of a material");
            }
        }
        mMaterials.push_back(entry);
    }

    void MeshLine(const TextLine& line)
    {
        CheckMesh();
        if (line.words.size() != 2 && line.words.size() != 4)
            Refuse(line, "a mesh is \"mesh <node> [material <name>]\"");
        Mesh mesh;
        mesh.line = line.number;
        mesh.node = FindNode(line, line.words[1], "the mesh's node");
        if (line.words.size() == 4) {
            if (line.words[2] != "material")
                Refuse(line, "\"" + line.words[2] + "\" is not a part of a mesh");
            bool found = false;
            for (size_t m = 0; m < mMaterials.size() && !found; ++m)
                if (mMaterials[m].chunk.name == line.words[3]) {
                    mesh.material = uint32_t(m);
                    found = true;
                }
            if (!found)
                Refuse(line, "material \"" + line.words[3] + "\" is not a material above this line");
        }
        mMeshes.push_back(mesh);
    }

    void VertexLine(const TextLine& line)
    {
        Mesh& mesh = CurrentMesh(line);
        if (!mesh.targets.empty())
            Refuse(line, "the mesh's vertices come before its morph targets");
        Vertex vertex;
        ReadVector(line, 1, vertex.position, 3);
        for (size_t i = 4; i < line.words.size();) {
            const std::string& word = line.words[i];
            if (word == "normal") {
                ReadVector(line, i + 1, vertex.normal, 3);
                i += 4;
            } else if (word == "uv") {
                ReadVector(line, i + 1, vertex.uv, 2);
                i += 3;
            } else if (word == "bone" && i + 1 < line.words.size()) {
                const std::string& bone = line.words[i + 1];
                uint32_t node = 0;
                bool found = false;
                for (size_t n = 0; n < mNodes.size() && !found; ++n)
                    if (mNodes[n].name == bone) {
                        node = uint32_t(n);
                        found = true;
                    }
                if (!found)
                    Refuse(line, "influence on missing bone \"" + bone + "\"");
                const float weight = WordFloat(line, i + 2);
                if (!(weight > 0.0f) || weight > 1.0f)
                    Refuse(line, "the weight on bone \"" + bone + "\" is outside (0, 1]");
                for (const AnimInfluence& other : vertex.influences)
                    if (other.nodeNumber == node)
                        Refuse(line, "bone \"" + bone + "\" influences the vertex twice");
                vertex.influences.push_back(AnimInfluence{weight, uint16_t(node)});
                i += 3;
            } else {
                Refuse(line, "\"" + word + "\" is not a part of a vertex");
            }
        }
        if (!vertex.influences.empty()) {
            float sum = 0.0f;
            for (const AnimInfluence& influence : vertex.influences)
                sum += influence.weight;
            if (std::fabs(sum - 1.0f) > 0.01f)
                Refuse(line, "the vertex's bone weights add up to " + std::to_string(sum) + ", not 1");
        }
        if (mesh.vertices.size() >= 65535)
            Refuse(line, "a mesh holds at most 65535 vertices");
        mesh.vertices.push_back(vertex);
    }

    void Triangle(const TextLine& line)
    {
        Mesh& mesh = CurrentMesh(line);
        ExpectWords(line, 4, 4);
        uint32_t corners[3];
        for (size_t k = 0; k < 3; ++k) {
            const int64_t v = WordInt(line, k + 1, 0, INT32_MAX);
            if (size_t(v) >= mesh.vertices.size())
                Refuse(line, "the triangle names vertex " + line.words[k + 1] + " of a mesh with " +
                                 std::to_string(mesh.vertices.size()) + " vertices");
            corners[k] = uint32_t(v);
        }
        if (corners[0] == corners[1] || corners[1] == corners[2] || corners[0] == corners[2])
            Refuse(line, "the triangle names one vertex twice");
        mesh.indices.insert(mesh.indices.end(), corners, corners + 3);
    }

    void TargetLine(const TextLine& line)
    {
        Mesh& mesh = CurrentMesh(line);
        ExpectWords(line, 2, 2);
        for (const Target& other : mesh.targets)
            if (other.name == line.words[1])
                Refuse(line, "target \"" + line.words[1] + "\" is named twice on this mesh");
        mesh.targets.push_back(Target{line.words[1], line.number, {}});
    }

    void Move(const TextLine& line)
    {
        Mesh& mesh = CurrentMesh(line);
        if (mesh.targets.empty())
            Refuse(line, "\"move\" comes before any target of the mesh");
        ExpectWords(line, 5, 5);
        const int64_t v = WordInt(line, 1, 0, INT32_MAX);
        if (size_t(v) >= mesh.vertices.size())
            Refuse(line, "the target moves vertex " + line.words[1] + " of a mesh with " +
                             std::to_string(mesh.vertices.size()) + " vertices");
        std::array<float, 3> offset{};
        ReadVector(line, 2, offset.data(), 3);
        if (!mesh.targets.back().moves.emplace(uint32_t(v), offset).second)
            Refuse(line, "the target moves vertex " + line.words[1] + " twice");
    }

    // A mesh is complete when the next one starts or the file ends.
    void CheckMesh() const
    {
        if (mMeshes.empty())
            return;
        const Mesh& mesh = mMeshes.back();
        if (mesh.indices.empty())
            throw TextFormError(mesh.line, "the mesh has no triangle");
        for (const Target& target : mesh.targets)
            if (target.moves.empty())
                throw TextFormError(target.line, "target \"" + target.name + "\" moves no vertex");
    }

    void WriteMesh(AnimFileWriter& writer, const Mesh& mesh) const
    {
        AnimMeshChunk chunk;
        chunk.nodeIndex = mesh.node;
        chunk.numVertices = chunk.numOrgVertices = uint32_t(mesh.vertices.size());
        chunk.numIndices = uint32_t(mesh.indices.size());
        AnimMeshChunk::Layer positions, normals, uvs, originals;
        positions.type = kLayerPositions;
        normals.type = kLayerNormals;
        uvs.type = kLayerUVs;
        uvs.attributeSize = 8;
        originals.type = kLayerOriginals;
        originals.attributeSize = 4;
        bool skinned = false;
        std::set<uint32_t> bones;
        for (size_t v = 0; v < mesh.vertices.size(); ++v) {
            const Vertex& vertex = mesh.vertices[v];
            for (float f : vertex.position)
                positions.words.push_back(Bits(f));
            for (float f : vertex.normal)
                normals.words.push_back(Bits(f));
            for (float f : vertex.uv)
                uvs.words.push_back(Bits(f));
            originals.words.push_back(uint32_t(v));
            skinned = skinned || !vertex.influences.empty();
            for (const AnimInfluence& influence : vertex.influences)
                bones.insert(influence.nodeNumber);
        }
        chunk.layers = {positions, normals, uvs, originals};
        AnimMeshChunk::SubMesh sub;
        sub.numVertices = chunk.numVertices;
        sub.materialIndex = mesh.material;
        sub.indices = mesh.indices;
        if (skinned) {
            bones.insert(mesh.node);  // vertices without bones follow the mesh's node
            sub.bones.assign(bones.begin(), bones.end());
        }
        chunk.subMeshes = {sub};
        writer.AddMesh(chunk);
        if (!skinned)
            return;
        AnimSkinningChunk skin;
        skin.nodeIndex = mesh.node;
        for (const Vertex& vertex : mesh.vertices)
            skin.vertices.push_back(vertex.influences.empty()
                                        ? std::vector<AnimInfluence>{AnimInfluence{1.0f, uint16_t(mesh.node)}}
                                        : vertex.influences);
        writer.AddSkinning(skin, 2);
    }

    // Offsets are kept in 16 bits over the range of this mesh's offsets
    // (zero included, so unmoved components stay put).
    static AnimMorphTargetChunk::DeformData DeformData(const Mesh& mesh, const Target& target)
    {
        AnimMorphTargetChunk::DeformData data;
        data.nodeIndex = mesh.node;
        float low = 0.0f, high = 0.0f;
        for (const auto& [vertex, offset] : target.moves)
            for (float f : offset) {
                low = std::min(low, f);
                high = std::max(high, f);
            }
        if (high - low < 1e-6f)
            high = low + 1.0f;
        data.minValue = low;
        data.maxValue = high;
        for (const auto& [vertex, offset] : target.moves) {
            AnimMorphTargetChunk::Vertex out;
            for (int k = 0; k < 3; ++k) {
                const double q = std::round((double(offset[size_t(k)]) - low) / (double(high) - low) * 65535.0);
                out.position[k] = uint16_t(std::clamp(q, 0.0, 65535.0));
                out.normal[k] = 128;  // directions unchanged
                out.tangent[k] = 128;
            }
            out.vertexNumber = vertex;
            data.vertices.push_back(out);
        }
        return data;
    }

public:
    // What a motion may name: the nodes, or the morph targets.
    std::set<std::string> Names(bool targets) const
    {
        std::set<std::string> names;
        if (!targets)
            for (const AnimNodeChunk& node : mNodes)
                names.insert(node.name);
        for (const Mesh& mesh : mMeshes)
            for (const Target& target : mesh.targets)
                if (targets)
                    names.insert(target.name);
        return names;
    }

private:
    std::string mName;
    std::vector<AnimNodeChunk> mNodes;
    std::vector<MaterialEntry> mMaterials;
    std::vector<Mesh> mMeshes;
};

// The node or morph-target names of an actor's text.
std::set<std::string> ReadActorNames(std::string_view text, bool targets)
{
    const std::vector<TextLine> lines = SplitTextForm(text);
    if (lines.empty() || lines.front().words[0] != "actor")
        throw TextFormError(1, "the file is not an actor's text");
    ExpectWords(lines.front(), 2, 2);
    ActorBuilder builder(lines.front());
    for (size_t i = 1; i < lines.size(); ++i)
        builder.Line(lines[i]);
    builder.Finish(lines.back().number);
    return builder.Names(targets);
}

// Skeletal and morph motions: tracks of timed keys.
class MotionBuilder {
public:
    MotionBuilder(const TextLine& first, bool morph, std::string folder)
        : mMorph(morph), mFolder(std::move(folder))
    {
        mInfo.motionName = first.words[1];
    }

    void Line(const TextLine& line)
    {
        const std::string& what = line.words[0];
        if (what == "fps") {
            ExpectWords(line, 2, 2);
            mInfo.framesPerSecond = uint32_t(WordInt(line, 1, 1, 1000));
        } else if (what == "actor") {
            ExpectWords(line, 2, 2);
            if (mActor || !mTracks.empty())
                Refuse(line, "\"actor\" comes once, before the tracks");
            mActorPath = mFolder + line.words[1];
            std::string text;
            try {
                text = ReadTextFile(mActorPath);
            } catch (const TextFormError&) {
                Refuse(line, "cannot read the actor " + mActorPath);
            }
            try {
                mActorNames = ReadActorNames(text, mMorph);
            } catch (const TextFormError& error) {
                throw TextFormError(error.line, error.what(), error.file.empty() ? mActorPath : error.file);
            }
            mActor = true;
        } else if (what == "track") {
            ExpectWords(line, 2, 2);
            CheckTrack();
            if (mActor && !mActorNames.count(line.words[1]))
                Refuse(line, "track \"" + line.words[1] + "\" names no " + (mMorph ? "morph target" : "node") +
                                 " of the actor " + mActorPath);
            for (const Track& track : mTracks)
                if (track.name == line.words[1])
                    Refuse(line, "track \"" + line.words[1] + "\" is named twice");
            mTracks.push_back(Track{line.words[1], line.number, {}, {}, {}, {}});
        } else if (what == "key") {
            Key(line);
        } else {
            Refuse(line, "\"" + what + "\" is not a statement of a " + (mMorph ? "morph" : "skeletal") +
                             " motion");
        }
    }

    AnimBytes Finish(int lastLine)
    {
        if (mTracks.empty())
            throw TextFormError(lastLine, "the motion has no track");
        CheckTrack();
        AnimFileWriter writer(mMorph ? AnimFileKind::PMorphMotion : AnimFileKind::SkeletalMotion);
        mInfo.sourceApplication = "anim_build";
        writer.AddMotionInfo(mInfo, mMorph ? 101 : 201);
        for (const Track& track : mTracks) {
            if (mMorph) {
                AnimMorphSubMotionChunk sub;
                sub.name = track.name;
                sub.keys = track.weights;
                sub.poseWeight = float(track.weights.front().value) / 65535.0f;
                writer.AddMorphSubMotion(sub);
                continue;
            }
            AnimSkeletalSubMotionChunk sub;
            sub.name = track.name;
            sub.positionKeys = track.positions;
            sub.rotationKeys = track.rotations;
            sub.scaleKeys = track.scales;
            // The pose, and the bind pose the motion was made on, are its first keys.
            if (!track.positions.empty()) {
                std::memcpy(sub.posePosition, track.positions.front().value, 12);
                std::memcpy(sub.bindPosition, track.positions.front().value, 12);
            }
            if (!track.rotations.empty()) {
                std::memcpy(sub.poseRotation, track.rotations.front().value, 16);
                std::memcpy(sub.bindRotation, track.rotations.front().value, 16);
            }
            if (!track.scales.empty()) {
                std::memcpy(sub.poseScale, track.scales.front().value, 12);
                std::memcpy(sub.bindScale, track.scales.front().value, 12);
            }
            writer.AddSkeletalSubMotion(sub);
        }
        return writer.Finish();
    }

private:
    struct Track {
        std::string name;
        int line = 0;
        std::vector<AnimKey<3>> positions;
        std::vector<AnimKey<4>> rotations;
        std::vector<AnimKey<3>> scales;
        std::vector<AnimMorphSubMotionChunk::Key> weights;
    };

    void CheckTrack() const
    {
        if (!mTracks.empty() && mTracks.back().positions.empty() && mTracks.back().rotations.empty() &&
            mTracks.back().scales.empty() && mTracks.back().weights.empty())
            throw TextFormError(mTracks.back().line, "track \"" + mTracks.back().name + "\" has no key");
    }

    template <typename KeyList>
    static void CheckTime(const TextLine& line, const KeyList& keys, float time)
    {
        if (!keys.empty() && !(time > keys.back().time))
            Refuse(line, "key times of a track must rise: " + line.words[1] + " follows " +
                             std::to_string(keys.back().time));
    }

    void Key(const TextLine& line)
    {
        if (mTracks.empty())
            Refuse(line, "\"key\" comes before any track");
        Track& track = mTracks.back();
        const float time = WordFloat(line, 1);
        if (time < 0.0f)
            Refuse(line, "a key's time is not negative");
        if (line.words.size() < 3)
            Refuse(line, "the key sets nothing");
        for (size_t i = 2; i < line.words.size();) {
            const std::string& word = line.words[i];
            if (mMorph && word == "weight") {
                const float weight = WordFloat(line, i + 1);
                if (weight < 0.0f || weight > 1.0f)
                    Refuse(line, "a weight is from 0 to 1, not " + line.words[i + 1]);
                CheckTime(line, track.weights, time);
                track.weights.push_back({time, uint16_t(std::lround(double(weight) * 65535.0))});
                i += 2;
            } else if (!mMorph && word == "position") {
                CheckTime(line, track.positions, time);
                AnimKey<3> key;
                key.time = time;
                ReadVector(line, i + 1, key.value, 3);
                track.positions.push_back(key);
                i += 4;
            } else if (!mMorph && word == "turn") {
                CheckTime(line, track.rotations, time);
                AnimKey<4> key;
                key.time = time;
                ReadTurn(line, i + 1, key.value);
                track.rotations.push_back(key);
                i += 5;
            } else if (!mMorph && word == "scale") {
                CheckTime(line, track.scales, time);
                AnimKey<3> key;
                key.time = time;
                ReadVector(line, i + 1, key.value, 3);
                track.scales.push_back(key);
                i += 4;
            } else {
                Refuse(line, "\"" + word + "\" is not a part of a " + (mMorph ? "morph" : "skeletal") + " key");
            }
        }
    }

    bool mMorph;
    std::string mFolder;
    bool mActor = false;
    std::string mActorPath;
    std::set<std::string> mActorNames;
    AnimMotionInfoChunk mInfo;
    std::vector<Track> mTracks;
};

}  // namespace

AnimBytes BuildAnimFromText(std::string_view text, const std::string& folder)
{
    const std::vector<TextLine> lines = SplitTextForm(text);
    if (lines.empty())
        throw TextFormError(1, "the file is empty: it starts with \"actor\", \"skeletal\" or \"morph\"");
    const TextLine& first = lines.front();
    const std::string& kind = first.words[0];
    if (kind != "actor" && kind != "skeletal" && kind != "morph")
        Refuse(first, "the file starts with \"actor\", \"skeletal\" or \"morph\", not \"" + kind + "\"");
    ExpectWords(first, 2, 2);
    const int lastLine = lines.back().number;
    if (kind == "actor") {
        ActorBuilder builder(first);
        for (size_t i = 1; i < lines.size(); ++i)
            builder.Line(lines[i]);
        return builder.Finish(lastLine);
    }
    MotionBuilder builder(first, kind == "morph", folder);
    for (size_t i = 1; i < lines.size(); ++i)
        builder.Line(lines[i]);
    return builder.Finish(lastLine);
}

}  // namespace testkit
