// Connects the official MCP TypeScript SDK client to `corvane --mcp`, lists the tools and
// calls each one, failing (exit status 1) on any answer that is not the expected one.
// Usage: node client.mjs /path/to/corvane
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import assert from "node:assert/strict";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const corvane = process.argv[2];
if (!corvane) {
    console.error("usage: node client.mjs /path/to/corvane");
    process.exit(2);
}

// A private history, so the run neither sees nor touches anyone's real one.
const dataHome = mkdtempSync(join(tmpdir(), "corvane-interop-"));
const transport = new StdioClientTransport({
    command: corvane,
    args: ["--mcp"],
    env: { ...process.env, XDG_DATA_HOME: dataHome },
    stderr: "inherit",
});
const client = new Client({ name: "corvane-interop", version: "1.0.0" });

function textOf(result) {
    assert.equal(result.isError, false);
    assert.equal(result.content.length, 1);
    assert.equal(result.content[0].type, "text");
    return result.content[0].text;
}

async function call(name, args) {
    const text = textOf(await client.callTool({ name, arguments: args }));
    console.log(`${name}: ${JSON.stringify(text)}`);
    return text;
}

try {
    await client.connect(transport);
    const server = client.getServerVersion();
    assert.equal(server.name, "corvane");
    assert.equal(server.title, "Corvane");
    assert.match(server.version, /^\d+\.\d+\.\d+$/);
    assert.deepEqual(client.getServerCapabilities(), { tools: { listChanged: false } });
    assert.match(client.getInstructions(), /^Corvane is the user's clipboard history/);
    await client.ping();

    const { tools } = await client.listTools();
    assert.deepEqual(tools.map((tool) => tool.name), [
        "search_clipboard",
        "get_clipboard_item",
        "save_clipboard_item",
        "list_pinboards",
        "create_pinboard",
        "add_to_pinboard",
    ]);
    console.log(`listed ${tools.length} tools`);

    assert.equal(await call("search_clipboard", {}), "The clipboard history is empty.");
    const saved = await call("save_clipboard_item", { text: "Runbook: https://example.com/runbook" });
    const id = Number(saved.match(/^Saved as item (\d+)\.$/)?.[1]);
    assert.ok(id > 0, saved);
    assert.match(
        await call("search_clipboard", { query: "runbook", limit: 5 }),
        new RegExp(`^\\[${id}\\] text · \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ · from AI assistant\\nRunbook: https://example\\.com/runbook$`),
    );
    assert.match(await call("get_clipboard_item", { id }), /\nRunbook: https:\/\/example\.com\/runbook$/);
    assert.equal(await call("list_pinboards", {}), "There are no pinboards yet.");
    assert.equal(await call("create_pinboard", { name: " Ops " }), "Created the pinboard “Ops”.");
    assert.equal(await call("add_to_pinboard", { pinboard: "ops", item_id: id }), `Added item ${id} to “Ops”.`);
    assert.equal(await call("list_pinboards", {}), "Ops — 1 item");

    // A name no tool has is a protocol error, which the SDK raises.
    await assert.rejects(client.callTool({ name: "no_such_tool", arguments: {} }), (error) => {
        assert.equal(error.code, -32602);
        assert.match(error.message, /Unknown tool: no_such_tool/);
        return true;
    });
    console.log("interop: every tool answered as expected");
} finally {
    await client.close();
    rmSync(dataHome, { recursive: true, force: true });
}
