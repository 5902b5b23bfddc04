// Shadow casting: a mobile drawn from the light into the shadow map, as the
// shadow it casts: its texture's coverage times the strength (an eighth
// when the map is blurred afterwards). The blur adds eight samples of that
// map taken along the line to its centre, from blurstart to blurstart +
// blurwidth of the distance, so the shadow keeps its strength inside and
// fades out at its edge.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;
float strength = 1.0f;
texture screen;
float2 screensize = {256.0f, 256.0f};
float blurstart = 1.0f;
float blurwidth = 0.0f;

sampler texSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
};

sampler screenSampler = sampler_state
{
    Texture = <screen>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input) : COLOR
{
    float shadow = strength * tex2D(texSampler, input.uv).a;
    return float4(shadow, shadow, shadow, 1.0f);
}

technique cast_mobile
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        AlphaBlendEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}

// The full-screen quad comes in clip space already.
VertexOut BlurVS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = position;
    output.uv = uv + 0.5f / screensize;
    return output;
}

float4 BlurPS(VertexOut input) : COLOR
{
    float2 offset = input.uv - 0.5f;
    float3 sum = 0.0f;
    for (int i = 0; i < 8; i++) {
        float scale = blurstart + blurwidth * (i / 7.0f);
        sum += tex2D(screenSampler, 0.5f + offset * scale).rgb;
    }
    return float4(saturate(sum), 1.0f);
}

technique blur_fade
{
    pass p0
    {
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 BlurVS();
        PixelShader = compile ps_2_0 BlurPS();
    }
}
