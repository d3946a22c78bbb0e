// The API-format graph a txt2img job runs as on ComfyUI: a graph of our own
// (the node classes and inputs of ComfyUI's nodes.py), or a workflow the
// person exported with "Export (API)" with the job's prompt, negative
// prompt, seed, steps, cfg and size filled in where the graph has them.
// A link is [node id, output index] (execution.py, validate_inputs).
import { readFile } from 'node:fs/promises';

export class WorkflowError extends Error {}

const SAMPLER_CLASSES = ['KSampler', 'KSamplerAdvanced'];
// Text inputs of the encoders: CLIPTextEncode, CLIPTextEncodeSDXL, CLIPTextEncodeFlux (nodes.py, comfy_extras/).
const TEXT_INPUTS = ['text', 'text_g', 'text_l', 'clip_l', 't5xxl'];
// Conditioning passed on unchanged in content (FluxGuidance, ConditioningSetArea, ConditioningCombine);
// not through ConditioningZeroOut, which Flux graphs feed from the positive prompt's encoder.
const CONDITIONING_INPUTS = ['conditioning', 'conditioning_1', 'conditioning_2', 'conditioning_to', 'conditioning_from'];

/** A graph of our own: checkpoint, two text encoders, an empty latent, KSampler, VAE decode, save. */
export function basicGraph({ checkpoint, prompt, negative, seed, steps, cfg, width, height, batchSize, sampler_name, scheduler }) {
  return {
    1: { class_type: 'CheckpointLoaderSimple', inputs: { ckpt_name: checkpoint } },
    2: { class_type: 'CLIPTextEncode', inputs: { text: prompt, clip: ['1', 1] } },
    3: { class_type: 'CLIPTextEncode', inputs: { text: negative, clip: ['1', 1] } },
    4: { class_type: 'EmptyLatentImage', inputs: { width, height, batch_size: batchSize } },
    5: {
      class_type: 'KSampler',
      inputs: { seed, steps, cfg, sampler_name, scheduler, denoise: 1, model: ['1', 0], positive: ['2', 0], negative: ['3', 0], latent_image: ['4', 0] },
    },
    6: { class_type: 'VAEDecode', inputs: { samples: ['5', 0], vae: ['1', 2] } },
    7: { class_type: 'SaveImage', inputs: { filename_prefix: 'kanvo', images: ['6', 0] } },
  };
}

/** The id of the graph's sampler node. */
export const samplerNodeOf = (graph) => Object.keys(graph).find((id) => SAMPLER_CLASSES.includes(graph[id]?.class_type));

/** Reads an exported workflow; refuses one that is not in API format or has no sampler. */
export async function loadWorkflow(file) {
  let graph;
  try {
    graph = JSON.parse(await readFile(file, 'utf8'));
  } catch (e) {
    throw new WorkflowError(`cannot read the workflow ${file}: ${e.message}`);
  }
  if (graph === null || typeof graph !== 'object' || Array.isArray(graph.nodes)) {
    throw new WorkflowError(`the workflow ${file} is not in API format; export it from ComfyUI with "Export (API)"`);
  }
  if (!samplerNodeOf(graph)) {
    throw new WorkflowError(`the workflow ${file} has no KSampler or KSamplerAdvanced node for Kanvo to fill in`);
  }
  return graph;
}

const isLink = (value) => Array.isArray(value) && value.length === 2 && typeof value[0] === 'string';

/** Sets the text of every encoder that feeds `link`, following conditioning through the nodes that pass it on. */
function fillText(graph, link, text) {
  const node = isLink(link) ? graph[link[0]] : undefined;
  if (!node || node.class_type === 'ConditioningZeroOut') return;
  const texts = TEXT_INPUTS.filter((name) => typeof node.inputs?.[name] === 'string');
  for (const name of texts) node.inputs[name] = text;
  if (texts.length === 0) for (const name of CONDITIONING_INPUTS) fillText(graph, node.inputs?.[name], text);
}

/** A copy of the workflow with the job's values where the graph has them. */
export function fillWorkflow(workflow, { prompt, negative, seed, steps, cfg, width, height, batchSize }) {
  const graph = structuredClone(workflow);
  const sampler = graph[samplerNodeOf(graph)].inputs;
  Object.assign(sampler, { [sampler.noise_seed === undefined ? 'seed' : 'noise_seed']: seed, steps, cfg });
  fillText(graph, sampler.positive, prompt);
  fillText(graph, sampler.negative, negative);
  const latent = isLink(sampler.latent_image) ? graph[sampler.latent_image[0]]?.inputs : undefined;
  if (latent && 'width' in latent && 'height' in latent) Object.assign(latent, { width, height, batch_size: batchSize });
  return graph;
}
