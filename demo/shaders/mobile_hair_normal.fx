// Hair cards with a normal map, lit per pixel by up to four lights with a
// soft wrap. Alpha-blended, both sides; needs shader model 3.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

// What the mobile sets for each of its meshes. Light positions are in the
// mesh node's own space, so the lighting is worked out there.
int cull = 3;                // cull mode: 1 none, 2 clockwise, 3 counter-clockwise
                             // (hair cards draw both sides)
bool depth = true;           // draw against the depth buffer
bool blend = false;          // the material has an opacity map
texture tex;                 // diffuse map
texture normal;              // normal map
float bi = 0.0f;             // twice the material's bump amount
float3 la = { 0.125f, 0.125f, 0.125f };   // half the ambient colour
// The lights, brightest first; intensity at the mobile, at most 2.
float3 lp1;
float li1 = 0.0f;
float3 lc1 = { 1.0f, 1.0f, 1.0f };
float3 lp2;
float li2 = 0.0f;
float3 lc2 = { 1.0f, 1.0f, 1.0f };
float3 lp3;
float li3 = 0.0f;
float3 lc3 = { 1.0f, 1.0f, 1.0f };
float3 lp4;
float li4 = 0.0f;
float3 lc4 = { 1.0f, 1.0f, 1.0f };
// Set for every mobile, not used here: hair takes at most 4 lights.
float3 lp5;
float li5 = 0.0f;
float3 lc5 = { 1.0f, 1.0f, 1.0f };
float3 lp6;
float li6 = 0.0f;
float3 lc6 = { 1.0f, 1.0f, 1.0f };

sampler baseSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

sampler normalSampler = sampler_state
{
    Texture = <normal>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

// Light of one lamp, wrapped softly round the card's edge.
float3 Lit(float3 lp, float li, float3 lc, float3 position, float3 n)
{
    return lc * li * saturate(dot(n, normalize(lp - position)) * 0.5f + 0.5f);
}

float3 Lighting(float3 position, float3 n, int lights)
{
    float3 light = la * 2.0f;
    if (lights > 0)
        light += Lit(lp1, li1, lc1, position, n);
    if (lights > 1)
        light += Lit(lp2, li2, lc2, position, n);
    if (lights > 2)
        light += Lit(lp3, li3, lc3, position, n);
    if (lights > 3)
        light += Lit(lp4, li4, lc4, position, n);
    return saturate(light);
}

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 objectPosition : TEXCOORD1;
    float3 tangent : TEXCOORD2;
    float3 binormal : TEXCOORD3;
    float3 objectNormal : TEXCOORD4;
};

VertexOut VS(float4 position : POSITION, float3 objectNormal : NORMAL, float2 uv : TEXCOORD0,
             float3 tangent : TANGENT, float3 binormal : BINORMAL, uniform int lights)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    output.objectPosition = position.xyz;
    output.tangent = tangent;
    output.binormal = binormal;
    output.objectNormal = objectNormal;
    return output;
}

float4 PS(VertexOut input, uniform int lights) : COLOR
{
    // The map's slope, scaled by the bump amount.
    float3 bump = tex2D(normalSampler, input.uv).xyz * 2.0f - 1.0f;
    float3 n = normalize(bi * (bump.x * input.tangent + bump.y * input.binormal) + bump.z * input.objectNormal);
    float4 base = tex2D(baseSampler, input.uv);
    return float4(base.rgb * Lighting(input.objectPosition, n, lights), base.a);
}

technique one_light
{
    pass p0
    {
        ZEnable = (depth);
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(1);
        PixelShader = compile ps_3_0 PS(1);
    }
}

technique two_lights
{
    pass p0
    {
        ZEnable = (depth);
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(2);
        PixelShader = compile ps_3_0 PS(2);
    }
}

technique three_lights
{
    pass p0
    {
        ZEnable = (depth);
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(3);
        PixelShader = compile ps_3_0 PS(3);
    }
}

technique four_lights
{
    pass p0
    {
        ZEnable = (depth);
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(4);
        PixelShader = compile ps_3_0 PS(4);
    }
}
