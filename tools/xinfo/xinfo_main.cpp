// poromeko-xinfo FILE...: prints, as JSON, what the .x reader makes of each
// file (one object per file, in a JSON array). Exit code 1 when any file
// failed to load.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"
#include "engine/xfile/xbuild.h"
#include "engine/xfile/xparse.h"
#include "platform/file.h"
#include "platform/graphics.h"
#include "platform/null/device_null.h"

namespace {

using engine::Frame;
using engine::MeshContainer;

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x80) {
          // Bytes outside ASCII are written as escapes, so the output is valid
          // JSON whatever encoding the file used.
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string NameOrNull(const char* name) { return name ? Quote(name) : "null"; }

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

void Meshes(const Frame* f, std::vector<std::string>* out) {
  for (; f; f = f->sibling) {
    for (const MeshContainer* mc = f->meshContainer; mc; mc = mc->nextMeshContainer) {
      std::string m = "{\"frame\": " + NameOrNull(f->name);
      m += ", \"vertices\": " + std::to_string(mc->mesh->GetNumVertices());
      m += ", \"faces\": " + std::to_string(mc->mesh->GetNumFaces());
      m += ", \"materials\": " + std::to_string(mc->numMaterials);
      m += ", \"textures\": [";
      bool first = true;
      for (std::uint32_t i = 0; i < mc->numMaterials; ++i) {
        if (mc->materials[i].textureFilename.empty()) continue;
        m += (first ? "" : ", ") + Quote(mc->materials[i].textureFilename);
        first = false;
      }
      m += "]";
      std::uint32_t bones = 0, infl = 0, combos = 0;
      if (mc->skinInfo) {
        bones = mc->skinInfo->GetNumBones();
        std::vector<engine::BoneCombination> table;
        if (engine::Mesh* blended = mc->skinInfo->ConvertToBlendedMesh(*mc->mesh, &infl, &table)) {
          combos = static_cast<std::uint32_t>(table.size());
          blended->Release();
        }
      }
      m += ", \"bones\": " + std::to_string(bones);
      m += ", \"maxFaceInfluences\": " + std::to_string(infl);
      m += ", \"boneCombinations\": " + std::to_string(combos) + "}";
      out->push_back(m);
    }
    Meshes(f->firstChild, out);
  }
}

std::string Describe(const std::string& path, platform::Device* device, bool* ok) {
  std::string error, bytes;
  // As the game reads a model: a FIFO, a device or a file too large is refused.
  platform::ReadWholeFile(path, engine::xfile::kMaxFileBytes - 1, &bytes, nullptr, &error);
  engine::xfile::BasicAllocator alloc;
  Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  engine::xfile::FileInfo info;
  // One parse gives the hierarchy and what the file says of itself.
  *ok = error.empty() &&
        engine::xfile::LoadMeshHierarchyWithInfo(bytes.data(), bytes.size(), path, device, &alloc,
                                                 &root, &controller, &info, &error);

  std::string s = "{\"file\": " + Quote(path) + ", \"ok\": " + (*ok ? "true" : "false");
  s += ", \"error\": " + (*ok ? std::string("null") : Quote(error));
  if (!*ok) {
    engine::FrameDestroy(root, &alloc);
    return s + "}";
  }
  s += ", \"format\": " + Quote(info.format + (info.floatBits == 64 ? "0064" : "0032"));
  s += ", \"ticksPerSecond\": " + std::to_string(info.ticksPerSecond);
  s += ", \"frames\": " + std::to_string(info.frames);
  std::vector<std::string> meshes;
  Meshes(root, &meshes);
  s += ", \"meshes\": [";
  for (std::size_t i = 0; i < meshes.size(); ++i) s += (i ? ", " : "") + meshes[i];
  s += "], \"animationSets\": [";
  if (controller) {
    for (std::uint32_t i = 0; i < controller->GetNumAnimationSets(); ++i) {
      const engine::AnimationSet* set = controller->GetAnimationSet(i);
      s += (i ? ", " : "");
      s += "{\"index\": " + std::to_string(i) + ", \"name\": " + Quote(set->GetName()) +
           ", \"period\": " + Number(set->GetPeriod()) +
           ", \"animations\": " + std::to_string(set->GetNumAnimations()) + "}";
    }
  }
  s += "]}";
  engine::FrameDestroy(root, &alloc);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: poromeko-xinfo FILE...\n");
    return 2;
  }
  platform::NullDevice device;
  bool allOk = true;
  std::printf("[\n");
  for (int i = 1; i < argc; ++i) {
    bool ok = false;
    const std::string line = Describe(argv[i], &device, &ok);
    allOk = allOk && ok;
    std::printf("  %s%s\n", line.c_str(), i + 1 < argc ? "," : "");
  }
  std::printf("]\n");
  return allOk ? 0 : 1;
}
