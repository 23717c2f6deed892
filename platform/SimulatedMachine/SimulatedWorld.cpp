#include "platform/SimulatedMachine/SimulatedWorld.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <utility>

namespace berthkeep {

using nlohmann::json;

std::string stripDevicePrefix(std::string_view device) {
    constexpr std::string_view prefix = "/dev/";
    if (device.substr(0, prefix.size()) == prefix) {
        device.remove_prefix(prefix.size());
    }
    return std::string(device);
}

const SimulatedDisk* SimulatedWorld::findDisk(std::string_view bsdName) const {
    const std::string name = stripDevicePrefix(bsdName);
    for (const auto& disk : disks) {
        if (disk.bsdName == name) {
            return &disk;
        }
    }
    return nullptr;
}

SimulatedDisk* SimulatedWorld::findDisk(std::string_view bsdName) {
    return const_cast<SimulatedDisk*>(std::as_const(*this).findDisk(bsdName));
}

namespace {

// A volume by BSD name, with the whole disk it belongs to; both null when none.
std::pair<const SimulatedDisk*, const SimulatedVolume*>
locateVolume(const std::vector<SimulatedDisk>& disks, std::string_view bsdName) {
    const std::string name = stripDevicePrefix(bsdName);
    for (const auto& disk : disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.bsdName == name) {
                return {&disk, &volume};
            }
        }
    }
    return {nullptr, nullptr};
}

} // namespace

const SimulatedVolume* SimulatedWorld::findVolume(std::string_view bsdName) const {
    return locateVolume(disks, bsdName).second;
}

SimulatedVolume* SimulatedWorld::findVolume(std::string_view bsdName) {
    return const_cast<SimulatedVolume*>(std::as_const(*this).findVolume(bsdName));
}

const SimulatedDisk* SimulatedWorld::diskOfVolume(std::string_view bsdName) const {
    return locateVolume(disks, bsdName).first;
}

const SimulatedDisk* SimulatedWorld::physicalDiskOf(const SimulatedDisk& disk) const {
    if (disk.apfsPhysicalStore) {
        if (const auto* store = diskOfVolume(*disk.apfsPhysicalStore)) {
            return store;
        }
    }
    return &disk;
}

std::vector<const SimulatedDisk*> SimulatedWorld::containersOn(const SimulatedDisk& disk) const {
    std::vector<const SimulatedDisk*> result;
    for (const auto& candidate : disks) {
        if (!candidate.apfsPhysicalStore) {
            continue;
        }
        const auto* owner = diskOfVolume(*candidate.apfsPhysicalStore);
        if (owner && owner->bsdName == disk.bsdName) {
            result.push_back(&candidate);
        }
    }
    return result;
}

int SimulatedWorld::nextFreeDiskNumber(int minimum) const {
    std::set<int> used;
    for (const auto& disk : disks) {
        if (disk.bsdName.rfind("disk", 0) == 0) {
            try {
                used.insert(std::stoi(disk.bsdName.substr(4)));
            } catch (const std::exception&) {
            }
        }
    }
    int number = minimum;
    while (used.count(number)) {
        ++number;
    }
    return number;
}

bool SimulatedWorld::isMountPathTaken(const std::string& path) const {
    for (const auto& disk : disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.mounted && volume.mountPath == path) {
                return true;
            }
        }
    }
    return std::any_of(networkVolumes.begin(), networkVolumes.end(),
                       [&](const auto& share) { return share.mountPath == path; });
}

std::string SimulatedWorld::mountPathFor(const std::string& volumeName) const {
    std::string root = mountRoot;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    // A slash inside a volume name would escape the mount root.
    std::string safeName = volumeName.empty() ? std::string("Untitled") : volumeName;
    std::replace(safeName.begin(), safeName.end(), '/', ':');
    const std::string base = (root == "/" ? "" : root) + "/" + safeName;
    std::string candidate = base;
    for (int suffix = 1; isMountPathTaken(candidate); ++suffix) {
        candidate = base + " " + std::to_string(suffix);
    }
    return candidate;
}

// ---- state file format ------------------------------------------------------

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw SimulatedStateError("state file: " + where + ": " + what);
}

const json* member(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

std::string requiredString(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (!value) {
        fail(where, std::string("missing \"") + key + "\"");
    }
    if (!value->is_string()) {
        fail(where + "." + key, "expected a string");
    }
    return value->get<std::string>();
}

void readString(const json& object, const char* key, const std::string& where, std::string& out) {
    if (const json* value = member(object, key)) {
        if (!value->is_string()) {
            fail(where + "." + key, "expected a string");
        }
        out = value->get<std::string>();
    }
}

void readOptionalString(const json& object, const char* key, const std::string& where,
                        std::optional<std::string>& out) {
    if (const json* value = member(object, key)) {
        if (!value->is_string()) {
            fail(where + "." + key, "expected a string");
        }
        out = value->get<std::string>();
    }
}

void readBool(const json& object, const char* key, const std::string& where, bool& out) {
    if (const json* value = member(object, key)) {
        if (!value->is_boolean()) {
            fail(where + "." + key, "expected true or false");
        }
        out = value->get<bool>();
    }
}

void readInt(const json& object, const char* key, const std::string& where, int& out) {
    if (const json* value = member(object, key)) {
        if (!value->is_number_integer()) {
            fail(where + "." + key, "expected an integer");
        }
        const auto number = value->get<std::int64_t>();
        if (number < INT32_MIN || number > INT32_MAX) {
            fail(where + "." + key, "integer out of range");
        }
        out = static_cast<int>(number);
    }
}

void readOptionalInt(const json& object, const char* key, const std::string& where,
                     std::optional<int>& out) {
    if (member(object, key)) {
        int value = 0;
        readInt(object, key, where, value);
        out = value;
    }
}

void readSize(const json& object, const char* key, const std::string& where, std::uint64_t& out) {
    if (const json* value = member(object, key)) {
        if (!value->is_number_unsigned()) {
            fail(where + "." + key, "expected a non-negative integer");
        }
        out = value->get<std::uint64_t>();
    }
}

const json& requireObject(const json& value, const std::string& where) {
    if (!value.is_object()) {
        fail(where, "expected an object");
    }
    return value;
}

const json* optionalArray(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value && !value->is_array()) {
        fail(where + "." + key, "expected an array");
    }
    return value;
}

void requireBSDName(const std::string& name, const std::string& where) {
    if (name.rfind("disk", 0) != 0 || name.size() < 5) {
        fail(where + ".bsdName", "\"" + name + "\" is not a disk identifier");
    }
}

SimulatedVolume parseVolume(const json& value, const std::string& where) {
    requireObject(value, where);
    SimulatedVolume volume;
    volume.bsdName = requiredString(value, "bsdName", where);
    requireBSDName(volume.bsdName, where);
    readString(value, "content", where, volume.content);
    readOptionalString(value, "volumeName", where, volume.volumeName);
    readOptionalString(value, "volumeUUID", where, volume.volumeUUID);
    readOptionalString(value, "filesystemType", where, volume.filesystemType);
    readOptionalString(value, "filesystemName", where, volume.filesystemName);
    readBool(value, "mountable", where, volume.mountable);
    readBool(value, "mounted", where, volume.mounted);
    readOptionalString(value, "mountPath", where, volume.mountPath);
    readBool(value, "hidden", where, volume.hidden);
    readBool(value, "writable", where, volume.writable);
    readBool(value, "createdMountDirectory", where, volume.createdMountDirectory);
    readBool(value, "resourceValuesFail", where, volume.resourceValuesFail);
    readSize(value, "sizeBytes", where, volume.sizeBytes);
    if (const json* keys = optionalArray(value, "omittedResourceKeys", where)) {
        for (const auto& key : *keys) {
            if (!key.is_string()) {
                fail(where + ".omittedResourceKeys", "expected strings");
            }
            volume.omittedResourceKeys.push_back(key.get<std::string>());
        }
    }
    if (volume.mounted && !volume.mountPath) {
        fail(where, "mounted volume without \"mountPath\"");
    }
    return volume;
}

SimulatedDisk parseDisk(const json& value, const std::string& where) {
    requireObject(value, where);
    SimulatedDisk disk;
    disk.bsdName = requiredString(value, "bsdName", where);
    requireBSDName(disk.bsdName, where);
    readString(value, "mediaName", where, disk.mediaName);
    readString(value, "busProtocol", where, disk.busProtocol);
    readBool(value, "internal", where, disk.internal);
    readBool(value, "removable", where, disk.removable);
    readBool(value, "ejectable", where, disk.ejectable);
    readBool(value, "writable", where, disk.writable);
    readString(value, "content", where, disk.content);
    readOptionalString(value, "imagePath", where, disk.imagePath);
    readOptionalString(value, "apfsPhysicalStore", where, disk.apfsPhysicalStore);
    readOptionalString(value, "deviceTreePath", where, disk.deviceTreePath);
    readSize(value, "sizeBytes", where, disk.sizeBytes);
    if (const json* volumes = optionalArray(value, "volumes", where)) {
        for (std::size_t i = 0; i < volumes->size(); ++i) {
            disk.volumes.push_back(
                parseVolume((*volumes)[i], where + ".volumes[" + std::to_string(i) + "]"));
        }
    }
    return disk;
}

SimulatedNetworkVolume parseNetworkVolume(const json& value, const std::string& where) {
    requireObject(value, where);
    SimulatedNetworkVolume share;
    share.name = requiredString(value, "name", where);
    share.mountPath = requiredString(value, "mountPath", where);
    readString(value, "url", where, share.url);
    readOptionalString(value, "volumeUUID", where, share.volumeUUID);
    readBool(value, "createdMountDirectory", where, share.createdMountDirectory);
    return share;
}

ScriptedBehaviour parseBehaviour(const json& value, const std::string& where) {
    requireObject(value, where);
    ScriptedBehaviour behaviour;
    readString(value, "tool", where, behaviour.tool);
    behaviour.verb = requiredString(value, "verb", where);
    readOptionalString(value, "device", where, behaviour.device);
    readOptionalInt(value, "exitStatus", where, behaviour.exitStatus);
    readString(value, "standardError", where, behaviour.standardError);
    readString(value, "standardOutput", where, behaviour.standardOutput);
    readInt(value, "delayMilliseconds", where, behaviour.delayMilliseconds);
    readBool(value, "hang", where, behaviour.hang);
    readBool(value, "ignoreTerminate", where, behaviour.ignoreTerminate);
    readOptionalString(value, "readyFile", where, behaviour.readyFile);
    readOptionalInt(value, "remainingUses", where, behaviour.remainingUses);
    if (behaviour.tool != "diskutil" && behaviour.tool != "hdiutil") {
        fail(where + ".tool", "expected \"diskutil\" or \"hdiutil\"");
    }
    if (behaviour.delayMilliseconds < 0) {
        fail(where + ".delayMilliseconds", "must not be negative");
    }
    return behaviour;
}

template <typename T>
void putOptional(json& object, const char* key, const std::optional<T>& value) {
    if (value) {
        object[key] = *value;
    }
}

json serializeDisk(const SimulatedDisk& disk) {
    json d = json::object();
    d["bsdName"] = disk.bsdName;
    d["mediaName"] = disk.mediaName;
    d["busProtocol"] = disk.busProtocol;
    d["internal"] = disk.internal;
    d["removable"] = disk.removable;
    d["ejectable"] = disk.ejectable;
    d["writable"] = disk.writable;
    d["content"] = disk.content;
    putOptional(d, "imagePath", disk.imagePath);
    putOptional(d, "apfsPhysicalStore", disk.apfsPhysicalStore);
    putOptional(d, "deviceTreePath", disk.deviceTreePath);
    d["sizeBytes"] = disk.sizeBytes;
    json volumes = json::array();
    for (const auto& volume : disk.volumes) {
        json v = json::object();
        v["bsdName"] = volume.bsdName;
        v["content"] = volume.content;
        putOptional(v, "volumeName", volume.volumeName);
        putOptional(v, "volumeUUID", volume.volumeUUID);
        putOptional(v, "filesystemType", volume.filesystemType);
        putOptional(v, "filesystemName", volume.filesystemName);
        v["mountable"] = volume.mountable;
        v["mounted"] = volume.mounted;
        putOptional(v, "mountPath", volume.mountPath);
        v["hidden"] = volume.hidden;
        v["writable"] = volume.writable;
        v["createdMountDirectory"] = volume.createdMountDirectory;
        if (!volume.omittedResourceKeys.empty()) {
            v["omittedResourceKeys"] = volume.omittedResourceKeys;
        }
        if (volume.resourceValuesFail) {
            v["resourceValuesFail"] = true;
        }
        v["sizeBytes"] = volume.sizeBytes;
        volumes.push_back(std::move(v));
    }
    d["volumes"] = std::move(volumes);
    return d;
}

} // namespace

SimulatedWorld parseSimulatedWorld(std::string_view text) {
    json root;
    try {
        root = parseBoundedJson(text);
    } catch (const json::parse_error& error) {
        throw SimulatedStateError(std::string("state file: not valid JSON: ") + error.what());
    }
    requireObject(root, "top level");
    int version = SimulatedWorld::currentVersion;
    readInt(root, "version", "top level", version);
    if (version != SimulatedWorld::currentVersion) {
        fail("version", "unsupported version " + std::to_string(version));
    }
    SimulatedWorld world;
    readString(root, "mountRoot", "top level", world.mountRoot);
    readBool(root, "createMountDirectories", "top level", world.createMountDirectories);
    readSize(root, "wakeCount", "top level", world.wakeCount);
    if (world.mountRoot.empty() || world.mountRoot.front() != '/') {
        fail("mountRoot", "expected an absolute path");
    }
    if (const json* disks = optionalArray(root, "disks", "top level")) {
        for (std::size_t i = 0; i < disks->size(); ++i) {
            world.disks.push_back(parseDisk((*disks)[i], "disks[" + std::to_string(i) + "]"));
        }
    }
    if (const json* parked = optionalArray(root, "parkedDisks", "top level")) {
        for (std::size_t i = 0; i < parked->size(); ++i) {
            world.parkedDisks.push_back(
                parseDisk((*parked)[i], "parkedDisks[" + std::to_string(i) + "]"));
        }
    }
    if (const json* shares = optionalArray(root, "networkVolumes", "top level")) {
        for (std::size_t i = 0; i < shares->size(); ++i) {
            world.networkVolumes.push_back(
                parseNetworkVolume((*shares)[i], "networkVolumes[" + std::to_string(i) + "]"));
        }
    }
    if (const json* behaviours = optionalArray(root, "behaviours", "top level")) {
        for (std::size_t i = 0; i < behaviours->size(); ++i) {
            world.behaviours.push_back(
                parseBehaviour((*behaviours)[i], "behaviours[" + std::to_string(i) + "]"));
        }
    }
    // Identifiers must be unique, or every lookup would answer for the wrong device.
    std::set<std::string> names;
    for (const auto& disk : world.disks) {
        if (!names.insert(disk.bsdName).second) {
            fail("disks", "duplicate device identifier \"" + disk.bsdName + "\"");
        }
        for (const auto& volume : disk.volumes) {
            if (!names.insert(volume.bsdName).second) {
                fail("disks", "duplicate device identifier \"" + volume.bsdName + "\"");
            }
        }
    }
    return world;
}

std::string serializeSimulatedWorld(const SimulatedWorld& world) {
    json root = json::object();
    root["version"] = SimulatedWorld::currentVersion;
    root["mountRoot"] = world.mountRoot;
    root["createMountDirectories"] = world.createMountDirectories;
    json disks = json::array();
    for (const auto& disk : world.disks) {
        disks.push_back(serializeDisk(disk));
    }
    root["disks"] = std::move(disks);
    json parked = json::array();
    for (const auto& disk : world.parkedDisks) {
        parked.push_back(serializeDisk(disk));
    }
    root["parkedDisks"] = std::move(parked);
    json shares = json::array();
    for (const auto& share : world.networkVolumes) {
        json s = json::object();
        s["name"] = share.name;
        s["url"] = share.url;
        s["mountPath"] = share.mountPath;
        putOptional(s, "volumeUUID", share.volumeUUID);
        s["createdMountDirectory"] = share.createdMountDirectory;
        shares.push_back(std::move(s));
    }
    root["networkVolumes"] = std::move(shares);
    json behaviours = json::array();
    for (const auto& behaviour : world.behaviours) {
        json b = json::object();
        b["tool"] = behaviour.tool;
        b["verb"] = behaviour.verb;
        putOptional(b, "device", behaviour.device);
        putOptional(b, "exitStatus", behaviour.exitStatus);
        b["standardError"] = behaviour.standardError;
        b["standardOutput"] = behaviour.standardOutput;
        b["delayMilliseconds"] = behaviour.delayMilliseconds;
        b["hang"] = behaviour.hang;
        b["ignoreTerminate"] = behaviour.ignoreTerminate;
        putOptional(b, "readyFile", behaviour.readyFile);
        putOptional(b, "remainingUses", behaviour.remainingUses);
        behaviours.push_back(std::move(b));
    }
    root["behaviours"] = std::move(behaviours);
    root["wakeCount"] = world.wakeCount;
    // Invalid UTF-8 in a name is replaced rather than making the write throw.
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace berthkeep
